#include "platform/screen/scripted_answers.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "coredll/device.h"
#include "platform/device/device_state.h"
#include "platform/device/host_files.h"
#include "platform/screen/box_buttons.h"

namespace coredll {
namespace {

// run/answers.lock held exclusively for the life of the object.
class AnswersLock {
 public:
  explicit AnswersLock(const std::string& run)
      : fd_(MakeHostFolders(run, DeviceRoot().size())
                ? open((run + "/answers.lock").c_str(),
                       O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644)
                : -1) {
    while (fd_.valid() && flock(fd_.get(), LOCK_EX) != 0 && errno == EINTR) {}
  }
  bool held() const { return fd_.valid(); }

 private:
  UniqueFd fd_;
};

std::vector<std::string> ReadQueue(const std::string& run) {
  std::ifstream in(run + "/answers");
  std::vector<std::string> words;
  for (std::string line; std::getline(in, line);) {
    line.erase(std::remove_if(line.begin(), line.end(), [](char c) { return std::isspace((unsigned char)c); }),
               line.end());
    if (!line.empty()) words.push_back(line);
  }
  return words;
}

bool WriteQueue(const std::string& run, const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& w : words) text += w + "\n";
  return WriteHostFile(run + "/answers", text, false);
}

bool Refuse(std::string* error, const std::string& reason) {
  if (error) *error = reason;
  return false;
}

std::string ErrnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

}  // namespace

std::optional<std::string> TakeScriptedAnswer() {
  std::string run = RunFolder();
  if (run.empty()) return std::nullopt;
  AnswersLock lock(run);
  if (!lock.held()) return std::nullopt;
  std::vector<std::string> words = ReadQueue(run);
  if (words.empty()) return std::nullopt;
  std::string first = words.front();
  words.erase(words.begin());
  if (!WriteQueue(run, words)) return std::nullopt;  // not taken when it cannot be used up
  return first;
}

bool QueueAnswers(const std::vector<std::string>& words, std::string* error) {
  for (const std::string& word : words) {
    if (!AnswerOfWord(word)) {
      return Refuse(error, "unknown answer '" + word + "' (use yes, no, ok, cancel, retry, abort or ignore)");
    }
  }
  std::string run = RunFolder();
  if (run.empty()) return Refuse(error, "no device");
  AnswersLock lock(run);
  if (!lock.held()) return Refuse(error, ErrnoText("cannot lock " + run + "/answers.lock"));
  std::vector<std::string> queue = ReadQueue(run);
  for (const std::string& word : words) queue.emplace_back(AnswerWord(*AnswerOfWord(word)));
  return WriteQueue(run, queue) || Refuse(error, ErrnoText("cannot write " + run + "/answers"));
}

bool ClearAnswers(std::string* error) {
  std::string run = RunFolder();
  if (run.empty()) return Refuse(error, "no device");
  AnswersLock lock(run);
  if (!lock.held()) return Refuse(error, ErrnoText("cannot lock " + run + "/answers.lock"));
  return WriteQueue(run, {}) || Refuse(error, ErrnoText("cannot write " + run + "/answers"));
}

}  // namespace coredll
