#include "platform/faults.h"

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
  unsigned seen = 0;
  bool kill = false;
  Fault fault;
};

struct FaultState {
  std::mutex mutex;
  bool loaded = false;
  std::vector<FaultRule> rules;
};

FaultState& State() {
  static FaultState* state = new FaultState;
  return *state;
}

bool ParseOp(std::string_view name, FaultOp& op) {
  static constexpr std::pair<std::string_view, FaultOp> kOps[] = {
      {"open", FaultOp::kOpen},     {"read", FaultOp::kRead},   {"write", FaultOp::kWrite},
      {"seek", FaultOp::kSeek},     {"size", FaultOp::kSize},
      {"delete", FaultOp::kDelete}, {"mkdir", FaultOp::kMkdir}, {"load", FaultOp::kLoad},
      {"describe", FaultOp::kDescribe},
  };
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
    if (!ParseNumber(left.substr(hash + 1), number) || number == 0) {
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
    std::string why;
    if (env && !ParseRules(env, s.rules, why)) {
      std::fprintf(stderr, "coredll: ignoring STOWKIT_FAULTS: %s\n", why.c_str());
      s.rules.clear();
    }
  }
  for (FaultRule& rule : s.rules) {
    if (rule.op != op) continue;
    if (!rule.pattern.empty() && !stowkit::MatchWildcard(rule.pattern, device_path)) continue;
    ++rule.seen;
    if (rule.nth != 0 && rule.seen != rule.nth) continue;
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

}  // namespace coredll
