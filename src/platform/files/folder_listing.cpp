#include "platform/files/folder_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <map>
#include <unordered_map>
#include <utility>
#include <vector>

#include "text/fold.h"
#include "text/utf.h"

namespace coredll {
namespace {

using stowkit::UpperCase;
using stowkit::Utf16ToUtf8;
using stowkit::Utf8ToUtf16;

constexpr uint32_t kWatched = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                              IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// Enough for the folders of a large application (a package of 2,000 folders installs in
// any order without dropping one); the oldest listing makes room beyond it.
constexpr size_t kMaxListings = 4096;
// How many watches' change counts are kept (see FolderStamp).
constexpr size_t kMaxCounts = 4 * kMaxListings;
// One read returns every queued event that fits; a read that left this much room unused
// therefore emptied the queue as it stood when the read began.
constexpr size_t kLargestEvent = sizeof(inotify_event) + NAME_MAX + 1;

// Bumped in every forked child: the notification queue is shared with the parent, so a
// child must neither read it (the parent would miss those changes) nor trust its copy.
std::atomic<unsigned> fork_generation{0};

void CountFork() { fork_generation.fetch_add(1, std::memory_order_relaxed); }

struct Listing {
  dev_t dev = 0;
  ino_t ino = 0;
  uint64_t age = 0;  // when it was made; the oldest is dropped first
  // Folded name -> the host names that fold to it, in the order they were seen.
  std::unordered_map<std::u16string, std::vector<std::string>> names;

  // The entry `name` finds: the one spelled exactly so when listed, else the first that
  // equals it ignoring case; null when none does.
  const std::string* Find(std::u16string_view name, const std::string& spelled) const {
    auto it = names.find(UpperCase(name));
    if (it == names.end()) return nullptr;
    for (const std::string& spelling : it->second) {
      if (spelling == spelled) return &spelling;
    }
    return &it->second.front();
  }
  void Add(const std::string& name) {
    std::vector<std::string>& spellings = names[UpperCase(Utf8ToUtf16(name))];
    for (const std::string& known : spellings) {
      if (known == name) return;
    }
    spellings.push_back(name);
  }
  void Remove(const std::string& name) {
    auto it = names.find(UpperCase(Utf8ToUtf16(name)));
    if (it == names.end()) return;
    std::vector<std::string>& spellings = it->second;
    for (size_t i = 0; i < spellings.size(); ++i) {
      if (spellings[i] != name) continue;
      spellings.erase(spellings.begin() + i);
      break;
    }
    if (spellings.empty()) names.erase(it);
  }
};

// Reads every entry of the open folder `dir` into `listing`; false when the folder could
// not be read to its end.
bool ReadEntries(int dir, Listing& listing) {
  alignas(dirent64) char buffer[32768];
  for (;;) {
    ssize_t got = getdents64(dir, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    for (ssize_t at = 0; at < got;) {
      const dirent64* entry = reinterpret_cast<const dirent64*>(buffer + at);
      std::string name(entry->d_name);
      if (name != "." && name != "..") listing.Add(name);
      at += entry->d_reclen;
    }
  }
}

// Set once this thread's listings are destroyed (at its end, or at exit for the main
// thread), so that lookups made by later destructors simply list their folders.
thread_local bool listings_gone = false;

class Listings {
 public:
  ~Listings() {
    Reset();
    listings_gone = true;
  }

  // The folder's listing as last brought up to date, or null.
  const Listing* Kept(const struct stat& folder_st) const {
    if (generation_ != fork_generation.load(std::memory_order_relaxed)) return nullptr;
    auto known = watch_of_.find({folder_st.st_dev, folder_st.st_ino});
    return known == watch_of_.end() ? nullptr : &by_watch_.at(known->second);
  }

  // The current listing of the folder, made now if there is none; null when none can be had.
  // `applied`: the queue was just applied for this lookup.
  const Listing* Get(const std::string& folder, const struct stat& folder_st, bool applied) {
    if (generation_ != fork_generation.load(std::memory_order_relaxed)) LeaveParentQueue();
    if (!applied && !Drain()) return nullptr;
    if (queue_ < 0) return nullptr;
    auto known = watch_of_.find({folder_st.st_dev, folder_st.st_ino});
    if (known != watch_of_.end()) return &by_watch_.at(known->second);
    return Make(folder, folder_st);
  }

  uint64_t Stamp() {
    if (generation_ != fork_generation.load(std::memory_order_relaxed)) LeaveParentQueue();
    if (!Drain()) return 0;
    // Counts of watches long gone must stay, or a mark of one would hold again; beyond a
    // bound a new epoch starts instead, which only walks the known ways afresh.
    if (counts_.size() > kMaxCounts) {
      counts_.clear();
      ++epoch_;
    }
    return epoch_;
  }

  // The mark of the watch on the folder of `folder_st`, which has a kept listing.
  WatchMark MarkOf(const struct stat& folder_st) {
    int watch = watch_of_.at({folder_st.st_dev, folder_st.st_ino});
    return {watch, counts_[watch]};
  }

  bool Hold(const std::vector<WatchMark>& marks) const {
    for (const WatchMark& mark : marks) {
      auto it = counts_.find(mark.watch);
      if ((it == counts_.end() ? 0 : it->second) != mark.count) return false;
    }
    return true;
  }

 private:
  // Opens the notification queue when there is none; false when that fails.
  bool Open() {
    if (queue_ >= 0) return true;
    static pthread_once_t registered = PTHREAD_ONCE_INIT;
    pthread_once(&registered, [] { pthread_atfork(nullptr, nullptr, CountFork); });
    generation_ = fork_generation.load(std::memory_order_relaxed);
    queue_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    return queue_ >= 0;
  }

  // Applies every change queued so far. False when there is no queue or it lost events;
  // every listing is then dropped.
  bool Drain() {
    if (!Open()) return false;
    alignas(inotify_event) char buffer[16384];
    for (;;) {
      ssize_t got = read(queue_, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0 && errno == EAGAIN) return true;
      if (got <= 0) return Reset();
      for (ssize_t at = 0; at < got;) {
        const inotify_event* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if (event->mask & IN_Q_OVERFLOW) return Reset();
        Apply(*event);
        at += sizeof(inotify_event) + event->len;
      }
      if (size_t(got) + kLargestEvent <= sizeof buffer) return true;
    }
  }

  void Apply(const inotify_event& event) {
    // Any watch, listed or not: the watches stand for the paths of the folders below them.
    bool subfolder = (event.mask & IN_ISDIR) && (event.mask & (IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO));
    if (subfolder || (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED))) {
      ++counts_[event.wd];
    }
    auto it = by_watch_.find(event.wd);
    if (it == by_watch_.end()) return;
    if (event.mask & (IN_IGNORED | IN_DELETE_SELF)) {
      Drop(it);
    } else if (event.len != 0 && (event.mask & (IN_CREATE | IN_MOVED_TO))) {
      it->second.Add(event.name);
    } else if (event.len != 0 && (event.mask & (IN_DELETE | IN_MOVED_FROM))) {
      it->second.Remove(event.name);
    }
  }

  // The watch goes on before the listing is read, so no change can fall between the two;
  // a change seen by both is applied again later, which leaves the names as they are.
  const Listing* Make(const std::string& folder, const struct stat& folder_st) {
    if (by_watch_.size() >= kMaxListings) DropOldest();
    int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0) return nullptr;
    struct stat st;
    Listing listing;
    int watch = -1;
    if (fstat(dir, &st) == 0 && st.st_dev == folder_st.st_dev && st.st_ino == folder_st.st_ino) {
      // Through the open folder, so the watch is on the folder that is listed.
      watch = inotify_add_watch(queue_, ("/proc/self/fd/" + std::to_string(dir)).c_str(), kWatched);
    }
    bool listed = watch >= 0 && ReadEntries(dir, listing);
    close(dir);
    if (!listed) {
      if (watch >= 0) Forget(watch);
      return nullptr;
    }
    listing.dev = st.st_dev;
    listing.ino = st.st_ino;
    listing.age = ++made_;
    Forget(watch);
    watch_of_[{st.st_dev, st.st_ino}] = watch;
    return &(by_watch_[watch] = std::move(listing));
  }

  // Drops the listing of `watch` (the watch stays: the kernel hands back the same one for
  // the same folder, and an unused one only adds events that are passed over).
  void Forget(int watch) {
    auto it = by_watch_.find(watch);
    if (it != by_watch_.end()) Drop(it);
  }

  void Drop(std::unordered_map<int, Listing>::iterator it) {
    watch_of_.erase({it->second.dev, it->second.ino});
    by_watch_.erase(it);
  }

  void DropOldest() {
    auto oldest = by_watch_.begin();
    for (auto it = by_watch_.begin(); it != by_watch_.end(); ++it) {
      if (it->second.age < oldest->second.age) oldest = it;
    }
    inotify_rm_watch(queue_, oldest->first);
    ++counts_[oldest->first];
    Drop(oldest);
  }

  // Drops every listing and the queue; always false, for Drain to return.
  bool Reset() {
    if (queue_ >= 0) close(queue_);
    queue_ = -1;
    ++epoch_;
    counts_.clear();
    by_watch_.clear();
    watch_of_.clear();
    return false;
  }

  // In a forked child: the queue is the parent's, so it is left open for the parent and
  // never read here.
  void LeaveParentQueue() {
    queue_ = -1;
    ++epoch_;
    counts_.clear();
    by_watch_.clear();
    watch_of_.clear();
  }

  int queue_ = -1;
  unsigned generation_ = 0;
  uint64_t made_ = 0;
  uint64_t epoch_ = 1;  // see FolderStamp; 0 means unknown
  std::unordered_map<int, uint64_t> counts_;  // a watch -> its WatchMark count
  std::unordered_map<int, Listing> by_watch_;
  std::map<std::pair<dev_t, ino_t>, int> watch_of_;  // a folder's device and inode -> its watch
};

thread_local Listings listings;

}  // namespace

Listed FindInFolder(const std::string& folder, const struct stat& folder_st,
                    std::u16string_view name, std::string& found, bool applied) {
  if (listings_gone) return Listed::kUnknown;
  const Listing* listing = listings.Get(folder, folder_st, applied);
  if (!listing) return Listed::kUnknown;
  const std::string* entry = listing->Find(name, Utf16ToUtf8(name));
  if (!entry) return Listed::kAbsent;
  found = *entry;
  return Listed::kFound;
}

bool PreferListing(const struct stat& folder_st, std::u16string_view name) {
  if (listings_gone) return false;
  const Listing* listing = listings.Kept(folder_st);
  if (!listing) return false;
  std::string spelled = Utf16ToUtf8(name);
  const std::string* entry = listing->Find(name, spelled);
  return !entry || *entry != spelled;
}

uint64_t FolderStamp() { return listings_gone ? 0 : listings.Stamp(); }

bool WatchFolder(const std::string& folder, const struct stat& folder_st, WatchMark& mark) {
  if (listings_gone || !listings.Get(folder, folder_st, true)) return false;
  mark = listings.MarkOf(folder_st);
  return true;
}

bool MarksHold(const std::vector<WatchMark>& marks) {
  return !listings_gone && listings.Hold(marks);
}

}  // namespace coredll
