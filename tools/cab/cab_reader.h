// Reading a CAB file that lies in the device file system: its member names, and members
// extracted to device files.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace stowkit::cab {

class CabReader {
 public:
  CabReader();
  ~CabReader();
  CabReader(const CabReader&) = delete;
  CabReader& operator=(const CabReader&) = delete;

  // Opens the CAB at device path `cab`; false when it cannot be read or is not a CAB.
  bool Open(std::u16string_view cab);

  // The member names in the CAB's order (names as stored, '\' for folders).
  std::vector<std::u16string> Members() const;

  // Writes member `name` (compared without case) to the device file `target`, replacing it.
  // False when there is no such member, or it cannot be decompressed or written (a partly
  // written target is deleted).
  bool Extract(std::u16string_view name, std::u16string_view target);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace stowkit::cab
