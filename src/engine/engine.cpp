#include "engine/engine.h"

#include "engine/hooks.h"
#include "engine/status_reporter.h"

namespace stowkit {
namespace {

Engine* the_engine = nullptr;

}  // namespace

Engine::Engine() { the_engine = this; }

Engine::~Engine() {
  UnloadCustomLibrary(*this);
  package.reset();
  if (the_engine == this) the_engine = nullptr;
}

Engine* GetEngine() { return the_engine; }

void Engine::TakeJob(const InstallJob& job) {
  mode = job.mode;
  package_path = job.package_path;
  log_path = job.log_path;
  language = job.language;
  silent = job.silent;
  job_macros = job.macros;
  if (!log_path.empty()) report::SetLogPath(log_path);
}

void Engine::ReportError(std::u16string_view text) {
  last_error_text = text;
  report::Detail(last_error_text);
}

}  // namespace stowkit
