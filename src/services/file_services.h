// Stateless file and path operations on the device file system, and the two process-wide
// settings kept beside them. Results are 1/0; on 0 the platform's last-error tells why.
// Paths are absolute device paths with '\' separators.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "coredll/windows.h"

namespace stowkit {

// A new folder path in the temporary folder, "PKG_YYYYMMDDhhmmss" from the UTC time; the
// folder is not created. Two calls within one second give the same path.
int MakeTempFolderPath(std::u16string& path);

// The full device path of the running program file; always 1.
int GetModulePath(std::u16string& path);

// Creates every missing level of `path` ("/" is taken as "\"); already-existing levels are
// fine. A network path "\\server\share\..." creates nothing for the server or the share.
int CreateFolder(std::u16string_view path);

// Depth-first removal. Files are deleted (read-only ones too) only when `delete_files` is
// set; without it a folder that holds a file stays (result 0), though its empty subfolder
// trees go. Never stops early: only the final removal of `path` decides the result.
int DeleteFolder(std::u16string_view path, bool delete_files);

// Creates the folder that would hold `file_path`, when its last '\' is at index 3 or later.
int EnsureParentFolder(std::u16string_view file_path);

// 1 when a search for `path` (wildcards allowed) finds a file or folder.
int FileExists(std::u16string_view path);

// 1 and the attributes, or 0 and attributes 0 when the path does not exist.
int GetFileAttribs(std::u16string_view path, uint32_t& attributes);

// Sets the creation, access and write times of an existing file from "YYYYMMDDhhmmss" in
// local time; any text that is not 14 characters long is refused before the file is touched.
int SetFileTimeText(std::u16string_view path, std::u16string_view text);

// Clears the attributes (read-only included), then deletes.
int ForceDeleteFile(std::u16string_view path);

// `folder` and `name` with exactly one '\' between them (one leading '\' of `name` dropped).
void JoinPath(std::u16string_view folder, std::u16string_view name, std::u16string& out);
std::u16string JoinPath(std::u16string_view folder, std::u16string_view name);

// The part after the last '\' (the whole path when there is none).
void PathFileName(std::u16string_view path, std::u16string& out);
// The part before the last '\' (the whole path when there is none; "" for "\x").
void PathFolder(std::u16string_view path, std::u16string& out);

// The open package's flag byte; its bit 0x04 ("NoState") silences the product state store.
void SetPackageOptions(uint8_t options);
uint8_t GetPackageOptions();

// Set by custom code; a successful run with a non-zero request ends with exit code 1000.
void SetRestartRequest(uint32_t request);
uint32_t GetRestartRequest();

}  // namespace stowkit
