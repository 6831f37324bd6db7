// The "_setup.xml" of a CAB: the part of the provisioning document that the CAB installer
// stand-in reads and that `stowkit-device cab build` writes.
//
//   <wap-provisioningdoc>
//     <characteristic type="Install">
//       <parm name="AppName" value="Notes"/>
//       <parm name="InstallDir" value="%CE1%\Notes$Notes"/>
//     </characteristic>
//     <characteristic type="FileOperation">
//       <characteristic type="%InstallDir%" translation="install">
//         <characteristic type="MakeDir"/>
//         <characteristic type="Notes.exe" translation="install">
//           <characteristic type="Extract"><parm name="Source" value="Notes.exe"/></characteristic>
//         </characteristic>
//       </characteristic>
//     </characteristic>
//   </wap-provisioningdoc>
//
// Every other element, attribute and parm is ignored. Folders may use the macros of
// ExpandFolder.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace stowkit::cab {

inline constexpr std::u16string_view kSetupDocumentMember = u"_setup.xml";
inline constexpr std::u16string_view kSetupLibraryMember = u"_setup.dll";

struct FileOperation {
  std::u16string folder;  // as written, macros unexpanded
  std::u16string name;    // the file's name in that folder
  std::u16string source;  // the CAB member that holds it
};

struct SetupDocument {
  std::u16string app_name;     // the application's registered name
  std::u16string install_dir;  // as written, macros unexpanded
  std::vector<FileOperation> files;
};

// False with a one-line reason when the text is no such document, or lacks AppName or
// InstallDir, or a file lacks a name.
bool ParseSetupDocument(std::string_view xml, SetupDocument& document, std::string& reason);

// The document as UTF-8 XML; files of one folder are grouped under it, folders in the order
// they first appear.
std::string WriteSetupDocument(const SetupDocument& document);

// `folder` with "%InstallDir%" replaced by `install_dir`, "%CE1%" by "\Program Files" and
// "%CE2%" by "\Windows" (names compared without case). Other text stays as written.
std::u16string ExpandFolder(std::u16string_view folder, std::u16string_view install_dir);

}  // namespace stowkit::cab
