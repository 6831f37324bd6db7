#include "setup_document.h"

#include <pugixml.hpp>
#include <sstream>

#include "text/fold.h"
#include "text/utf.h"

namespace stowkit::cab {
namespace {

// The device folders that a folder of the document may name by number.
constexpr std::pair<std::u16string_view, std::u16string_view> kFolderMacros[] = {
    {u"%CE1%", u"\\Program Files"},
    {u"%CE2%", u"\\Windows"},
};

std::u16string Text(const char* utf8) { return Utf8ToUtf16(utf8); }

// The value of the <parm name="..."> child, or empty text.
std::u16string Parm(pugi::xml_node node, const char* name) {
  return Text(node.find_child_by_attribute("parm", "name", name).attribute("value").value());
}

pugi::xml_node Characteristic(pugi::xml_node parent, const char* type) {
  return parent.find_child_by_attribute("characteristic", "type", type);
}

bool ReadFolder(pugi::xml_node folder, SetupDocument& document) {
  std::u16string folder_path = Text(folder.attribute("type").value());
  for (pugi::xml_node file : folder.children("characteristic")) {
    std::u16string name = Text(file.attribute("type").value());
    if (name == u"MakeDir") continue;
    if (name.empty()) return false;
    std::u16string source = Parm(Characteristic(file, "Extract"), "Source");
    document.files.push_back({folder_path, name, source.empty() ? name : source});
  }
  return true;
}

void AppendParm(pugi::xml_node parent, const char* name, std::u16string_view value) {
  pugi::xml_node parm = parent.append_child("parm");
  parm.append_attribute("name") = name;
  parm.append_attribute("value") = Utf16ToUtf8(value).c_str();
}

pugi::xml_node AppendCharacteristic(pugi::xml_node parent, std::u16string_view type,
                                    bool translated) {
  pugi::xml_node node = parent.append_child("characteristic");
  node.append_attribute("type") = Utf16ToUtf8(type).c_str();
  if (translated) node.append_attribute("translation") = "install";
  return node;
}

// Replaces every occurrence of `macro`, found without regard to case.
void Replace(std::u16string& text, std::u16string_view macro, std::u16string_view value) {
  std::u16string upper_macro = UpperCase(macro);
  for (size_t at = UpperCase(text).find(upper_macro); at != text.npos;
       at = UpperCase(text).find(upper_macro, at + value.size())) {
    text.replace(at, macro.size(), value);
  }
}

}  // namespace

bool ParseSetupDocument(std::string_view xml, SetupDocument& document, std::string& reason) {
  pugi::xml_document tree;
  pugi::xml_parse_result parsed = tree.load_buffer(xml.data(), xml.size());
  if (!parsed) {
    reason = std::string("not XML: ") + parsed.description();
    return false;
  }
  pugi::xml_node root = tree.child("wap-provisioningdoc");
  pugi::xml_node install = Characteristic(root, "Install");
  document = {};
  document.app_name = Parm(install, "AppName");
  document.install_dir = Parm(install, "InstallDir");
  if (document.app_name.empty() || document.install_dir.empty()) {
    reason = "no Install characteristic with AppName and InstallDir";
    return false;
  }
  for (pugi::xml_node operations : root.children("characteristic")) {
    if (std::string_view(operations.attribute("type").value()) != "FileOperation") continue;
    for (pugi::xml_node folder : operations.children("characteristic")) {
      if (!ReadFolder(folder, document)) {
        reason = "a file without a name";
        return false;
      }
    }
  }
  return true;
}

std::string WriteSetupDocument(const SetupDocument& document) {
  pugi::xml_document tree;
  pugi::xml_node root = tree.append_child("wap-provisioningdoc");
  pugi::xml_node install = AppendCharacteristic(root, u"Install", false);
  AppendParm(install, "AppName", document.app_name);
  AppendParm(install, "InstallDir", document.install_dir);
  pugi::xml_node operations = AppendCharacteristic(root, u"FileOperation", false);
  for (const FileOperation& file : document.files) {
    std::string folder_type = Utf16ToUtf8(file.folder);
    pugi::xml_node folder =
        operations.find_child_by_attribute("characteristic", "type", folder_type.c_str());
    if (!folder) {
      folder = AppendCharacteristic(operations, file.folder, true);
      AppendCharacteristic(folder, u"MakeDir", false);
    }
    pugi::xml_node extract =
        AppendCharacteristic(AppendCharacteristic(folder, file.name, true), u"Extract", false);
    AppendParm(extract, "Source", file.source);
  }
  std::ostringstream out;
  tree.save(out, "  ");
  return out.str();
}

std::u16string ExpandFolder(std::u16string_view folder, std::u16string_view install_dir) {
  std::u16string expanded(folder);
  Replace(expanded, u"%InstallDir%", install_dir);
  for (auto [macro, path] : kFolderMacros) Replace(expanded, macro, path);
  return expanded;
}

}  // namespace stowkit::cab
