// The commands of stowkit-pack and what they share. Each command returns the exit status;
// a failure is one line on standard error that names paths as the user wrote them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "coredll/windows.h"
#include "package/package.h"

namespace stowkit::pack_tool {

int Dump(const std::string& package, bool json);
// One line per entry: type, flags, FinalSize, FinalCRC, destination and features.
int ListEntries(const std::string& package, bool json);
int Verify(const std::string& package);
// With a `program`, its bytes come first and the package follows: a self-contained installer.
int Build(const std::string& manifest, const std::string& output, const std::string& program);
int Unpack(const std::string& package, const std::string& folder);
// Exit status 1 when an error is found that `allowed_codes` does not name (lint_rules.h).
int Lint(const std::string& package, const std::vector<std::string>& allowed_codes, bool json);
// The codes for lint's --help.
std::string LintCodesHelp();
// Exit status 0 whether or not the packages differ (package_diff.h).
int Diff(const std::string& a, const std::string& b, bool json);

// Prints "stowkit-pack: MESSAGE" on standard error and returns 1.
int Error(const std::string& message);

// What a failure code means: "CRC mismatch".
std::string Meaning(HRESULT hr);
// The meaning followed by the code: "CRC mismatch (0x80070017)".
std::string Reason(HRESULT hr);
// Why `entry` fails VerifyEntryBlob with `hr`, given the content size that it reported:
// Reason(hr), or for a content size or CRC that cannot be right, the numbers.
std::string BlobFailure(const CatalogEntry& entry, HRESULT hr, uint64_t content_size);
// A package-layer message, which ends with its code, and what the code means.
std::string Explained(const std::u16string& error_text, HRESULT hr);
// Why OpenPackage failed on host path `path`: "'PATH' is not a package ..." for a file that
// does not end in a package header, else Explained.
std::string OpenFailure(const std::string& path, const std::u16string& error_text, HRESULT hr);
// Opens the package at host path `path`; on failure prints why (Error) and returns false.
bool OpenPackageFile(const std::string& path, std::unique_ptr<Package>& package);
// The same, handing each entry to `sink` rather than keeping it in the package.
bool OpenPackageFile(const std::string& path, std::unique_ptr<Package>& package, const EntrySink& sink);
// The platform's text for its last error.
std::string LastErrorText();

// "entry 3 (AppFile)": entries count from 1, as the dump numbers them.
std::string EntryLabel(int index, uint8_t type);

// Whole host files through the platform; false with a one-line reason in `error`.
bool ReadHostText(const std::string& path, std::string& text, std::string& error);
bool WriteNewHostFile(const std::string& path, const std::string& bytes, std::string& error);

}  // namespace stowkit::pack_tool
