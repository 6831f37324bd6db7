// diff: two packages compared (package_diff.h), as text or JSON.
#include <iostream>
#include <memory>

#include "json_writer.h"
#include "pack_tool.h"
#include "package_diff.h"
#include "text/utf.h"

namespace stowkit::pack_tool {
namespace {

std::string FieldLine(const FieldChange& change) {
  auto value = [&change](const std::optional<std::string>& text) {
    if (!text) return std::string("(none)");
    return change.text ? "\"" + *text + "\"" : *text;
  };
  if (!change.a) return "+ " + change.field + ": " + value(change.b);
  if (!change.b) return "- " + change.field + ": " + value(change.a);
  return "~ " + change.field + ": " + value(change.a) + " -> " + value(change.b);
}

std::string EntryHeading(const EntryChange& change) {
  std::string line = change.kind == EntryChange::kAdded ? "+ " : change.kind == EntryChange::kRemoved ? "- " : "~ ";
  line += change.type + (change.destination.empty() ? "" : " \"" + change.destination + "\"");
  if (change.kind == EntryChange::kChanged) {
    return line + " (entry " + std::to_string(change.a_index + 1) + " -> " + std::to_string(change.b_index + 1) + ")";
  }
  return line + " (entry " + std::to_string((change.a_index >= 0 ? change.a_index : change.b_index) + 1) + ")";
}

void PrintSection(const char* title, const std::vector<FieldChange>& changes) {
  if (changes.empty()) return;
  std::cout << title << "\n";
  for (const FieldChange& change : changes) std::cout << "  " << FieldLine(change) << "\n";
}

void PrintText(const std::string& a, const std::string& b, const PackageDiff& diff) {
  std::cout << "--- " << a << "\n+++ " << b << "\n";
  if (diff.same()) {
    std::cout << "The packages have the same header, properties and entries.\n";
    return;
  }
  PrintSection("header:", diff.header);
  PrintSection("properties:", diff.properties);
  if (!diff.entries.empty()) std::cout << "entries:\n";
  for (const EntryChange& change : diff.entries) {
    std::cout << "  " << EntryHeading(change) << "\n";
    for (const FieldChange& field : change.fields) std::cout << "      " << FieldLine(field) << "\n";
    for (const LineChange& line : change.lines) std::cout << "      " << line.op << " " << line.text << "\n";
  }
}

void WriteFields(tool::JsonWriter& json, const char* key, const std::vector<FieldChange>& changes) {
  json.Key(key).BeginArray();
  for (const FieldChange& change : changes) {
    json.BeginObject().Key("field").String(change.field);
    json.Key("a").OptionalString(change.a).Key("b").OptionalString(change.b).EndObject();
  }
  json.EndArray();
}

void WriteIndex(tool::JsonWriter& json, const char* key, int index) {
  json.Key(key);
  index < 0 ? json.Null() : json.Number(index + 1);
}

void PrintJson(const std::string& a, const std::string& b, const PackageDiff& diff) {
  static const char* kKinds[] = {"added", "removed", "changed"};
  tool::JsonWriter json;
  json.BeginObject().Key("a").String(a).Key("b").String(b).Key("same").Bool(diff.same());
  WriteFields(json, "header", diff.header);
  WriteFields(json, "properties", diff.properties);
  json.Key("entries").BeginArray();
  for (const EntryChange& change : diff.entries) {
    json.BeginObject().Key("change").String(kKinds[change.kind]).Key("type").String(change.type);
    json.Key("destination").String(change.destination);
    WriteIndex(json, "a_entry", change.a_index);
    WriteIndex(json, "b_entry", change.b_index);
    WriteFields(json, "fields", change.fields);
    json.Key("lines").BeginArray();
    for (const LineChange& line : change.lines) {
      json.BeginObject().Key("op").String(std::string(1, line.op)).Key("line").Number(int64_t(line.line));
      json.Key("text").String(line.text).EndObject();
    }
    json.EndArray().EndObject();
  }
  std::cout << json.EndArray().EndObject().text();
}

}  // namespace

int Diff(const std::string& a, const std::string& b, bool json) {
  std::unique_ptr<Package> first, second;
  if (!OpenPackageFile(a, first) || !OpenPackageFile(b, second)) return 1;
  PackageDiff diff = DiffPackages(*first, *second);
  json ? PrintJson(a, b, diff) : PrintText(a, b, diff);
  std::cout << std::flush;
  return std::cout ? 0 : Error("cannot write to standard output");
}

}  // namespace stowkit::pack_tool
