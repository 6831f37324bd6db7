// JSON text for the tools' --json output: values written in order into objects and arrays,
// indented by two spaces per level, strings escaped, so scripts can read every table the
// tools print.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace stowkit::tool {

// `text` (UTF-8) as a JSON string literal: quotes, '\' and control characters escaped.
std::string JsonString(std::string_view text);

class JsonWriter {
 public:
  // Containers; in an object every value is preceded by Key. An empty container is written
  // on one line.
  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  JsonWriter& Key(std::string_view name);

  JsonWriter& String(std::string_view text);
  JsonWriter& Number(int64_t value);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();
  // A string, or null when absent.
  JsonWriter& OptionalString(const std::optional<std::string>& text);

  // The document so far; once the outermost container is closed, a whole document ending in
  // a line break.
  const std::string& text() const { return text_; }
  // Writes the text so far to `out` once it has reached `at_least` bytes, and forgets it;
  // the writer goes on where it was, so a long document is streamed in pieces of about
  // that size rather than held whole. text() then holds what came after.
  void FlushTo(std::ostream& out, size_t at_least = 0);

 private:
  struct Level {
    bool object = false;
    int count = 0;
  };
  void BeforeValue();
  JsonWriter& Open(char bracket, bool object);
  JsonWriter& Close(char bracket);
  void NewLine();

  std::string text_;
  std::vector<Level> levels_;
  bool after_key_ = false;
};

}  // namespace stowkit::tool
