#include "engine/install_job.h"

#include <memory>

namespace stowkit {
namespace {

std::unique_ptr<InstallJob>& Instance() {
  static std::unique_ptr<InstallJob> job;
  return job;
}

}  // namespace

InstallJob& CreateInstallJob() {
  if (!Instance()) Instance() = std::make_unique<InstallJob>();
  return *Instance();
}

InstallJob* GetInstallJob() { return Instance().get(); }

void DestroyInstallJob() { Instance().reset(); }

}  // namespace stowkit
