#include "answer_commands.h"

#include "coredll/device.h"
#include "device_commands.h"

namespace stowkit::device_tool {
namespace {

// "yes,retry" and "yes, retry" alike; an empty item ("yes,,no") is a mistake, not a skip.
std::vector<std::string> Split(const std::string& list) {
  std::vector<std::string> words;
  size_t start = 0;
  for (size_t end; ; start = end + 1) {
    end = list.find(',', start);
    std::string word = list.substr(start, end == std::string::npos ? end : end - start);
    word.erase(0, word.find_first_not_of(' '));
    word.erase(word.find_last_not_of(' ') + 1);
    words.push_back(word);
    if (end == std::string::npos) return words;
  }
}

}  // namespace

int QueueAnswerList(const std::vector<std::string>& lists) {
  if (lists.empty()) return Error("answer: give ANSWER[,ANSWER...] or --clear");
  std::vector<std::string> words;
  for (const std::string& list : lists) {
    for (std::string& word : Split(list)) words.push_back(std::move(word));
  }
  std::string error;
  return coredll::QueueAnswers(words, &error) ? 0 : Error("answer: " + error);
}

int ClearAnswerList() {
  std::string error;
  return coredll::ClearAnswers(&error) ? 0 : Error("answer: " + error);
}

}  // namespace stowkit::device_tool
