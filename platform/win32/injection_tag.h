// Private to the Windows backend: the mark on every input record this program injects.
//
// The hooks see the input of remapping tools, the on-screen keyboard, remote desktop and scripts
// flagged as injected just like ours; only this value in the record's extra information tells our
// own apart, so that theirs can still trigger hotkeys and be recorded.
#pragma once

#include <cstdint>

namespace plat::win32 {

constexpr uintptr_t kOwnInjectionTag = 0x52764C6E;  // "RvLn"

}  // namespace plat::win32
