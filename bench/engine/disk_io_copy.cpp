// Copies one file through the disk I/O task library, as a command beside `cp` for bench/engine/disk_io_vs_cp.sh:
//
//   bz_dio_copy SOURCE TARGET
//
// TARGET is replaced. The whole library runs: DIO_Main's event loop, the handler with its pools, the
// project's stages and the disk tasks. Exit status 0 when the copy is complete, 1 otherwise.
#include "engine/tasks/disk_io.h"

#include "platform/core/event_loop.h"
#include "platform/core/files.h"

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace {

void PostEvent(UInt32 eventClass, UInt32 kind, EventParamType type, ByteCount size, const void *value) {
  EventRef event = nullptr;
  if (CreateEvent(nullptr, eventClass, kind, 0, kEventAttributeNone, &event) != noErr) return;
  SetEventParameter(event, kEventParamDirectObject, type, size, value);
  PostEventToQueue(GetMainEventQueue(), event, kEventPriorityStandard);
  ReleaseEvent(event);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bz_dio_copy SOURCE TARGET\n");
    return 2;
  }
  const int fd = ::open(argv[2], O_CREAT | O_TRUNC | O_WRONLY, 0644);
  if (fd < 0) {
    std::perror(argv[2]);
    return 1;
  }
  ::close(fd);
  static DIO_Project project{};
  if (FSPathMakeRef(reinterpret_cast<const UInt8 *>(argv[1]), &project.srcFile, nullptr) != noErr ||
      FSPathMakeRef(reinterpret_cast<const UInt8 *>(argv[2]), &project.targetFile, nullptr) != noErr) {
    std::fprintf(stderr, "bz_dio_copy: no such file\n");
    return 1;
  }
  // The project goes in as an event, and the quit command once it is done.
  DIO_Project *p = &project;
  PostEvent(kDIO_EventClass, kDIO_NewProjectEventKind, kDIO_ProjectParamType, sizeof p, &p);
  std::thread watcher([] {
    while (!project.done.load()) usleep(1000);
    HICommand quit{};
    quit.commandID = kHICommandQuit;
    PostEvent(kEventClassCommand, kEventCommandProcess, typeHICommand, sizeof quit, &quit);
  });
  const OSStatus err = DIO_Main();
  watcher.join();
  if (err != noErr || project.error.load() != noErr) {
    std::fprintf(stderr, "bz_dio_copy: error %d\n", int(err != noErr ? err : project.error.load()));
    return 1;
  }
  return 0;
}
