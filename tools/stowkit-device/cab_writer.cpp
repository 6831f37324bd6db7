// The CAB writer module: gcab pulls in GLib and GIO, a dozen libraries whose loading and
// start-up would otherwise cost every stowkit-device command, so only the cab commands load
// this module (cab_writer_loader.cpp).
#include "cab_writer.h"

#include <libgcab.h>

#include <cstdlib>
#include <memory>

namespace stowkit::device_tool {
namespace {

// GLib objects released when the scope ends.
struct Unref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, Unref>;

// Takes the error's message and frees it.
std::string Message(GError* error) {
  std::string text = error ? error->message : "unknown error";
  if (error) g_error_free(error);
  return text;
}

GBytes* MemberBytes(const CabMember& member, std::string& why) {
  if (member.source.empty()) return g_bytes_new(member.bytes.data(), member.bytes.size());
  gchar* contents = nullptr;
  gsize length = 0;
  GError* error = nullptr;
  if (!g_file_get_contents(member.source.c_str(), &contents, &length, &error)) {
    why = Message(error);
    return nullptr;
  }
  return g_bytes_new_take(contents, length);
}

// The date and time every member carries. Without one a member has the zero DOS date, which
// is no date at all; the time of the build would make each build's bytes differ. So it is
// SOURCE_DATE_EPOCH (seconds since 1970, UTC) when set and within the years a DOS date
// holds, else 2000-01-01 00:00:00.
GDateTime* MemberDate() {
  const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
  char* end = nullptr;
  long long seconds = epoch && *epoch ? std::strtoll(epoch, &end, 10) : -1;
  if (end && *end == '\0' && seconds >= 0) {
    GDateTime* given = g_date_time_new_from_unix_utc(seconds);
    if (given && g_date_time_get_year(given) >= 1980 && g_date_time_get_year(given) <= 2107) {
      return given;
    }
    if (given) g_date_time_unref(given);
  }
  return g_date_time_new_utc(2000, 1, 1, 0, 0, 0);
}

bool AddMembers(GCabFolder* folder, const std::vector<CabMember>& members, std::string& why) {
  std::unique_ptr<GDateTime, void (*)(GDateTime*)> date(MemberDate(), g_date_time_unref);
  for (const CabMember& member : members) {
    GBytes* bytes = MemberBytes(member, why);
    if (bytes == nullptr) return false;
    GObjectPtr<GCabFile> file(gcab_file_new_with_bytes(member.name.c_str(), bytes));
    g_bytes_unref(bytes);
    gcab_file_set_date_time(file.get(), date.get());
    GError* error = nullptr;
    if (!gcab_folder_add_file(folder, file.get(), FALSE, nullptr, &error)) {
      why = Message(error);
      return false;
    }
  }
  return true;
}

bool WriteWithGcab(const std::filesystem::path& output, const std::vector<CabMember>& members,
                   std::string& why) {
  GObjectPtr<GCabCabinet> cabinet(gcab_cabinet_new());
  GObjectPtr<GCabFolder> folder(gcab_folder_new(GCAB_COMPRESSION_MSZIP));
  if (!AddMembers(folder.get(), members, why)) return false;
  GError* error = nullptr;
  if (!gcab_cabinet_add_folder(cabinet.get(), folder.get(), &error)) {
    why = Message(error);
    return false;
  }
  GObjectPtr<GFile> file(g_file_new_for_path(output.c_str()));
  GObjectPtr<GFileOutputStream> stream(
      g_file_replace(file.get(), nullptr, FALSE, G_FILE_CREATE_NONE, nullptr, &error));
  bool written = stream &&
                 gcab_cabinet_write_simple(cabinet.get(), G_OUTPUT_STREAM(stream.get()), nullptr,
                                           nullptr, nullptr, &error) &&
                 g_output_stream_close(G_OUTPUT_STREAM(stream.get()), nullptr, &error);
  if (!written) why = Message(error);
  return written;
}

}  // namespace
}  // namespace stowkit::device_tool

extern "C" __attribute__((visibility("default"))) bool StowkitWriteCab(
    const std::filesystem::path& output, const std::vector<stowkit::device_tool::CabMember>& members,
    std::string& why) {
  return stowkit::device_tool::WriteWithGcab(output, members, why);
}
