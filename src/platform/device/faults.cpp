#include "platform/device/faults.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "coredll/device.h"
#include "text/utf.h"
#include "text/wildcard.h"

namespace coredll {
namespace {

struct FaultRule {
  FaultOp op;
  std::u16string pattern;  // empty: any path
  unsigned nth = 0;        // 0: every matching call
  bool and_later = false;  // "#N+": the N-th and every later one, as a disk that stays full
  unsigned seen = 0;
  bool kill = false;
  Fault fault;
};

constexpr std::pair<std::string_view, FaultOp> kOps[] = {
    {"open", FaultOp::kOpen},     {"read", FaultOp::kRead},   {"write", FaultOp::kWrite},
    {"seek", FaultOp::kSeek},     {"size", FaultOp::kSize},
    {"delete", FaultOp::kDelete}, {"mkdir", FaultOp::kMkdir}, {"load", FaultOp::kLoad},
    {"describe", FaultOp::kDescribe},
};
constexpr size_t kOpCount = std::size(kOps);
// The calls are counted at the index of their operation.
constexpr bool InEnumOrder() {
  for (size_t i = 0; i < kOpCount; ++i) {
    if (size_t(kOps[i].second) != i) return false;
  }
  return true;
}
static_assert(InEnumOrder());

struct FaultState {
  std::mutex mutex;
  bool loaded = false;
  std::vector<FaultRule> rules;
  std::string tally_file;                // $STOWKIT_FAULT_TALLY, when set
  std::array<unsigned, kOpCount> calls{};  // counted only for the tally
  // The writes that go to another file than the write before: the moments at which a disk
  // that fills up meets each file.
  std::vector<unsigned> switches;
  std::u16string last_written;
};

FaultState& State() {
  static FaultState* state = new FaultState;
  return *state;
}

bool ParseOp(std::string_view name, FaultOp& op) {
  for (auto [text, value] : kOps) {
    if (name == text) {
      op = value;
      return true;
    }
  }
  return false;
}

bool ParseNumber(std::string_view text, unsigned long& value) {
  if (text.empty() || text.size() > 10) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + unsigned(c - '0');
  }
  return true;
}

bool ParseRule(std::string_view text, FaultRule& rule, std::string& error) {
  size_t eq = text.find('=');
  if (eq == std::string_view::npos) {
    error = "fault rule '" + std::string(text) + "' has no '=RESULT'";
    return false;
  }
  std::string_view left = text.substr(0, eq), result = text.substr(eq + 1);
  size_t hash = left.find('#');
  unsigned long number = 0;
  if (hash != std::string_view::npos) {
    std::string_view count = left.substr(hash + 1);
    rule.and_later = !count.empty() && count.back() == '+';
    if (rule.and_later) count.remove_suffix(1);
    if (!ParseNumber(count, number) || number == 0) {
      error = "fault rule '" + std::string(text) + "': #N must be a count from 1";
      return false;
    }
    rule.nth = unsigned(number);
    left = left.substr(0, hash);
  }
  size_t at = left.find('@');
  if (at != std::string_view::npos) rule.pattern = stowkit::Utf8ToUtf16(left.substr(at + 1));
  if (!ParseOp(left.substr(0, at), rule.op)) {
    error = "fault rule '" + std::string(text) + "': unknown operation";
    return false;
  }
  if (result == "kill") {
    rule.kill = true;
  } else if (rule.op == FaultOp::kDescribe) {
    error = "fault rule '" + std::string(text) + "': describe takes only 'kill'";
    return false;
  } else if (result == "short" && rule.op == FaultOp::kRead) {
    rule.fault.short_read = true;
  } else if (ParseNumber(result, number) && number > 0) {
    rule.fault.error = DWORD(number);
  } else {
    error = "fault rule '" + std::string(text) + "': result must be an error number, " +
            (rule.op == FaultOp::kRead ? "'short' " : "") + "or 'kill'";
    return false;
  }
  return true;
}

bool ParseRules(std::string_view text, std::vector<FaultRule>& rules, std::string& error) {
  while (!text.empty()) {
    size_t end = text.find(';');
    std::string_view piece = text.substr(0, end);
    FaultRule rule;
    if (!piece.empty() && !ParseRule(piece, rule, error)) return false;
    if (!piece.empty()) rules.push_back(rule);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  }
  return true;
}

}  // namespace

Fault CheckFault(FaultOp op, std::u16string_view device_path) {
  FaultState& s = State();
  std::lock_guard lock(s.mutex);
  if (!s.loaded) {
    s.loaded = true;
    const char* env = std::getenv("STOWKIT_FAULTS");
    const char* tally = std::getenv("STOWKIT_FAULT_TALLY");
    if (tally) s.tally_file = tally;
    std::string why;
    if (env && !ParseRules(env, s.rules, why)) {
      std::fprintf(stderr, "coredll: ignoring STOWKIT_FAULTS: %s\n", why.c_str());
      s.rules.clear();
    }
  }
  unsigned call = ++s.calls[size_t(op)];
  if (!s.tally_file.empty() && op == FaultOp::kWrite && device_path != s.last_written) {
    s.last_written = device_path;
    s.switches.push_back(call);
  }
  for (FaultRule& rule : s.rules) {
    if (rule.op != op) continue;
    if (!rule.pattern.empty() && !stowkit::MatchWildcard(rule.pattern, device_path)) continue;
    ++rule.seen;
    if (rule.nth != 0 && (rule.and_later ? rule.seen < rule.nth : rule.seen != rule.nth)) continue;
    if (rule.kill) raise(SIGKILL);
    return rule.fault;
  }
  return Fault{};
}

bool SetFaults(std::string_view text, std::string* error) {
  std::vector<FaultRule> rules;
  std::string why;
  if (!ParseRules(text, rules, why)) {
    if (error) *error = why;
    return false;
  }
  FaultState& s = State();
  std::lock_guard lock(s.mutex);
  s.loaded = true;
  s.rules = std::move(rules);
  return true;
}

void WriteFaultTally() {
  FaultState& s = State();
  std::lock_guard lock(s.mutex);
  if (s.tally_file.empty()) return;
  std::string line;
  for (size_t i = 0; i < kOpCount; ++i) {
    line += (i ? " " : "") + std::string(kOps[i].first) + "=" + std::to_string(s.calls[i]);
  }
  line += " switches=";
  for (size_t i = 0; i < s.switches.size(); ++i) line += (i ? "," : "") + std::to_string(s.switches[i]);
  line += "\n";
  // One write of the line with O_APPEND: the lines of processes that end at the same moment
  // do not mix.
  int fd = open(s.tally_file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  ssize_t written = write(fd, line.data(), line.size());
  (void)written;
  close(fd);
}

}  // namespace coredll
