// The bytes by which updater-pack tells a build of the updater from any other
// program it is given to pack behind (Tools/updater-pack/program_image.cpp
// looks for them). Only the updater program links this file: the packing tool
// and the tests share the rest of the code and must not pass for the updater.
extern const char UpdaterProgramMark[];
const char UpdaterProgramMark[] = "LumenTrail updater: payload at 0x70000, archive at 0x70400";

namespace {

// Nothing else reads the mark: one read at start-up keeps the link's
// --gc-sections from dropping it, for a few bytes of code.
struct KeepMark {
  KeepMark() noexcept { static_cast<void>(*static_cast<const volatile char*>(UpdaterProgramMark)); }
} keepMark;

}  // namespace
