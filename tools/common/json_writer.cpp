#include "json_writer.h"

namespace stowkit::tool {

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      constexpr char kDigits[] = "0123456789abcdef";
      out += "\\u00";
      out += kDigits[(c >> 4) & 0xF];
      out += kDigits[c & 0xF];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

void JsonWriter::NewLine() {
  text_ += '\n';
  text_.append(2 * levels_.size(), ' ');
}

void JsonWriter::BeforeValue() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (levels_.empty()) return;
  if (levels_.back().count++ > 0) text_ += ',';
  NewLine();
}

JsonWriter& JsonWriter::Open(char bracket, bool object) {
  BeforeValue();
  text_ += bracket;
  levels_.push_back({object, 0});
  return *this;
}

JsonWriter& JsonWriter::Close(char bracket) {
  bool empty = levels_.back().count == 0;
  levels_.pop_back();
  if (!empty) NewLine();
  text_ += bracket;
  if (levels_.empty()) text_ += '\n';
  return *this;
}

JsonWriter& JsonWriter::BeginObject() { return Open('{', true); }
JsonWriter& JsonWriter::EndObject() { return Close('}'); }
JsonWriter& JsonWriter::BeginArray() { return Open('[', false); }
JsonWriter& JsonWriter::EndArray() { return Close(']'); }

JsonWriter& JsonWriter::Key(std::string_view name) {
  BeforeValue();
  text_ += JsonString(name) + ": ";
  after_key_ = true;
  return *this;
}

JsonWriter& JsonWriter::String(std::string_view text) {
  BeforeValue();
  text_ += JsonString(text);
  return *this;
}

JsonWriter& JsonWriter::Number(int64_t value) {
  BeforeValue();
  text_ += std::to_string(value);
  return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
  BeforeValue();
  text_ += value ? "true" : "false";
  return *this;
}

JsonWriter& JsonWriter::Null() {
  BeforeValue();
  text_ += "null";
  return *this;
}

JsonWriter& JsonWriter::OptionalString(const std::optional<std::string>& text) {
  return text ? String(*text) : Null();
}

void JsonWriter::FlushTo(std::ostream& out, size_t at_least) {
  if (text_.size() < at_least) return;
  out << text_;
  text_.clear();
}

}  // namespace stowkit::tool
