// The disk I/O library copies files byte for byte (every size, within one disk and between devices, more
// projects than slots), suspends and resumes half-way, keeps a project through a full disk, stops at once,
// and quits with projects running. The main thread drives the library's event handler with
// PL_RunEventLoopUntil; a project is held half-way by holding the read pool and the disk's critical region.
#include "engine/tasks/disk_io.h"

#include "platform/core/event_loop.h"
#include "platform/core/files.h"
#include "support/file_fixtures.h"
#include "support/kernel_check.h"
#include "support/task_check.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using bz_test::Word;

constexpr SInt64 kMB = 0x100000;
constexpr double kLimitSeconds = 60.0;

std::vector<char> Pattern(SInt64 size, uint32_t seed) {
  std::vector<char> bytes(static_cast<size_t>(size));
  uint32_t x = seed * 2654435761u + 1;
  for (char &b : bytes) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    b = char(x >> 24);
  }
  return bytes;
}

void WriteFile(const std::string &path, const std::vector<char> &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

std::vector<char> ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// One copy: a source of `size` pattern bytes, an empty target, and the project record.
struct Copy {
  std::string source, target;
  std::vector<char> bytes;
  DIO_Project project{};
  Copy(const std::string &from, const std::string &to, SInt64 size, uint32_t seed)
      : source(from), target(to), bytes(Pattern(size, seed)) {
    WriteFile(source, bytes);
    WriteFile(target, {});
    project.srcFile = bz_test::RefFor(source);
    project.targetFile = bz_test::RefFor(target);
  }
  ::testing::AssertionResult Identical() const {
    const std::vector<char> copied = ReadFile(target);
    if (copied == bytes) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << target << ": " << copied.size() << " bytes, the source " << bytes.size();
  }
};

// Events to the main thread's queue (from any thread): a new project, and the quit command.
OSStatus PostProjectEvent(DIO_Project *project) {
  EventRef event = nullptr;
  OSStatus err = CreateEvent(nullptr, kDIO_EventClass, kDIO_NewProjectEventKind, 0, kEventAttributeNone, &event);
  if (err == noErr) err = SetEventParameter(event, kEventParamDirectObject, kDIO_ProjectParamType, sizeof project, &project);
  if (err == noErr) err = PostEventToQueue(GetMainEventQueue(), event, kEventPriorityStandard);
  if (event != nullptr) ReleaseEvent(event);
  return err;
}

OSStatus PostQuitCommand() {
  EventRef event = nullptr;
  OSStatus err = CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, 0, kEventAttributeNone, &event);
  HICommand command{};
  command.commandID = kHICommandQuit;
  if (err == noErr) err = SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof command, &command);
  if (err == noErr) err = PostEventToQueue(GetMainEventQueue(), event, kEventPriorityStandard);
  if (event != nullptr) ReleaseEvent(event);
  return err;
}

// The handler task and the library's event handler, driven by the main thread's event loop.
class DiskIO : public ::testing::Test {
 protected:
  MP_TaskData handler{};
  EventHandlerRef handlerRef = nullptr;
  bz_test::TempDir dir;

  void SetUp() override {
    handler.entryPoint = DIO_ProjectsHandler;
    handler.type = kDIO_ProjectsHandlerTaskType;
    handler.termMessage1 = Word(kDIO_ProjectsHandlerTaskType);
    handler.queuesAllocated = kMP_InFreeQueueAlloc | kMP_InputQueueAlloc | kMP_TermQueueAlloc;
    ASSERT_EQ(MP_CreateTask(&handler), noErr);
    const EventTypeSpec kinds[] = {{kDIO_EventClass, kDIO_NewProjectEventKind},
                                   {kDIO_EventClass, kDIO_HandlerEndedEventKind},
                                   {kEventClassCommand, kEventCommandProcess}};
    ASSERT_EQ(InstallApplicationEventHandler(DIO_AppEventHandler, 3, kinds, &handler, &handlerRef), noErr);
  }

  void TearDown() override {
    PL_FailWritesAfterBytes(-1);
    if (handler.ID != nullptr) Quit();
    RemoveEventHandler(handlerRef);
  }

  void Post(DIO_Project *project) { ASSERT_EQ(PostProjectEvent(project), noErr); }

  // The quit command: the handler stops its projects, ends, and its end is taken by the main thread.
  void Quit() {
    ASSERT_EQ(PostQuitCommand(), noErr);
    EXPECT_TRUE(RunUntil([this] { return handler.ID == nullptr; }));
    RunCurrentEventLoop(kEventDurationNoWait);  // takes the loop's quit request the handler's end left
  }

  static bool RunUntil(const std::function<bool()> &done) { return PL_RunEventLoopUntil(done, kLimitSeconds) == noErr; }

  static void Message(DIO_Project *project, DIO_TaskType sender, DIO_MessageType message) {
    MP_TaskData *task = project->taskData.load();
    ASSERT_NE(task, nullptr);
    ASSERT_EQ(MPNotifyQueue(task->inputQueue, Word(sender), Word(message), nullptr), noErr);
  }

  // The read pool, from a finished probe copy (its fields keep the handler's queue).
  MPQueueID ReadPool() {
    probe = std::make_unique<Copy>(dir.File("probe"), dir.File("probe.copy"), 1, 99);
    Post(&probe->project);
    EXPECT_TRUE(RunUntil([this] { return probe->project.done.load(); }));
    return probe->project.readFreeQueue;
  }

  std::unique_ptr<Copy> probe;
};

std::vector<void *> TakeAll(MPQueueID queue) {
  std::vector<void *> chunks;
  void *chunk = nullptr;
  while (MPWaitOnQueue(queue, nullptr, nullptr, &chunk, kDurationImmediate) == noErr) chunks.push_back(chunk);
  return chunks;
}

void GiveBack(MPQueueID queue, std::vector<void *> *chunks, size_t count) {
  for (size_t i = 0; i < count && !chunks->empty(); ++i) {
    MPNotifyQueue(queue, nullptr, nullptr, chunks->back());
    chunks->pop_back();
  }
}

// Holds a project's copy after its first 16 MB were asked for: the read pool is taken away, the source
// disk's critical region held, 16 chunks given back (what a read stage lends itself at most), and the read
// stage left waiting for them to come back. Then the disk's input region is held too, so that the read
// stage, once a stop or suspend has reached it, waits there to send the end of its stream. Release() gives
// back both regions and the rest of the pool.
struct HeldCopy {
  MPQueueID pool;
  std::vector<void *> chunks;
  DIO_DiskInfo *disk = nullptr;
  bool inputHeld = false;
  ItemCount tasksWhileHeld = 0;

  HeldCopy(MPQueueID readPool, DIO_Project *project, const std::function<void()> &post) : pool(readPool) {
    chunks = TakeAll(pool);
    EXPECT_EQ(chunks.size(), size_t(kDIO_PoolChunks));
    post();
    EXPECT_TRUE(PL_RunEventLoopUntil([project] { return project->taskData.load() != nullptr; }, kLimitSeconds) == noErr);
    disk = project->sourceDiskInfo;
    EXPECT_EQ(PL_EnterCriticalRegionDispatching(disk->criticalRgn, kDurationForever), noErr);
    GiveBack(pool, &chunks, 16);
    // Only the read stage takes from the pool while the disk is held. It waits on its own free queue only
    // when every chunk it lent is out in a request it has sent.
    // (The project task has made its stages before the read stage took the pool's last chunk: only then is
    // its list of stages read here.)
    EXPECT_TRUE(PL_RunEventLoopUntil(
                    [this, project] {
                      if (!PoolIsEmpty()) return false;
                      MP_TaskData *read = MP_GetSubTaskByTypeAndIndex(project->taskData.load(), kDIO_ReadTaskType, 0, 0);
                      return read != nullptr && PL_MPWaiterCount(read->inFreeQueue) == 1;
                    },
                    kLimitSeconds) == noErr);
    EXPECT_EQ(PL_EnterCriticalRegionDispatching(disk->inputCriticalRgn, kDurationForever), noErr);
    inputHeld = true;
    tasksWhileHeld = PL_MPLiveTaskCount();
  }
  bool PoolIsEmpty() {
    void *chunk = nullptr;
    if (MPWaitOnQueue(pool, nullptr, nullptr, &chunk, kDurationImmediate) != noErr) return true;
    MPNotifyQueue(pool, nullptr, nullptr, chunk);
    return false;
  }
  // Waits until the read stage, stopped, waits for the disk's input region.
  bool ReadStageStopping() {
    return PL_RunEventLoopUntil([this] { return PL_MPWaiterCount(disk->inputCriticalRgn) == 1; }, kLimitSeconds) ==
           noErr;
  }
  void Release() {
    if (disk == nullptr) return;
    if (inputHeld) MPExitCriticalRegion(disk->inputCriticalRgn);
    MPExitCriticalRegion(disk->criticalRgn);
    disk = nullptr;
    GiveBack(pool, &chunks, chunks.size());
  }
  ~HeldCopy() { Release(); }
};

TEST_F(DiskIO, CopiesEverySizeWithinAndAcrossDevicesWithMoreProjectsThanSlots) {
  // The shared-memory file system lies on another device than the temporary folder.
  bz_test::TempDir other;
  std::string otherDir = "/dev/shm/bz-dio-" + std::to_string(getpid());
  const bool haveShm = access("/dev/shm", W_OK) == 0 && mkdir(otherDir.c_str(), 0700) == 0;
  if (!haveShm) otherDir = other.path();
  const SInt64 sizes[] = {0, 1, kMB, 10 * kMB + kMB / 2};
  std::vector<std::unique_ptr<Copy>> copies;
  uint32_t seed = 1;
  for (SInt64 size : sizes) {
    const std::string name = "f" + std::to_string(size);
    copies.push_back(std::make_unique<Copy>(dir.File(name), dir.File(name + ".copy"), size, seed++));
    copies.push_back(std::make_unique<Copy>(dir.File(name), otherDir + "/" + name + ".copy", size, seed - 1));
  }
  // Ten more small ones: 18 projects for 16 slots.
  for (int i = 0; i < 10; ++i)
    copies.push_back(std::make_unique<Copy>(dir.File("s" + std::to_string(i)), dir.File("s" + std::to_string(i) + ".copy"),
                                            3 + i, seed++));
  for (auto &c : copies) Post(&c->project);
  EXPECT_TRUE(RunUntil([&] {
    for (auto &c : copies)
      if (!c->project.done) return false;
    return true;
  }));
  for (auto &c : copies) {
    EXPECT_EQ(c->project.error.load(), noErr) << c->target;
    EXPECT_EQ(c->project.dataWritten.load(), SInt64(c->bytes.size())) << c->target;
    EXPECT_EQ(c->project.numData, SInt32((c->bytes.size() + kMB - 1) / kMB)) << c->target;
    EXPECT_TRUE(c->Identical());
  }
  Quit();
  if (haveShm) {
    for (auto &c : copies)
      if (c->target.rfind(otherDir, 0) == 0) unlink(c->target.c_str());
    rmdir(otherDir.c_str());
  }
}

TEST_F(DiskIO, SuspendedHalfWayAndResumedCompletesIdentically) {
  const MPQueueID pool = ReadPool();
  Copy copy(dir.File("big"), dir.File("big.copy"), 48 * kMB + 12345, 7);
  HeldCopy held(pool, &copy.project, [&] { Post(&copy.project); });
  Message(&copy.project, kDIO_MainThreadTaskType, kDIO_SuspendResumeMessageType);
  ASSERT_TRUE(held.ReadStageStopping());
  held.Release();
  // The 16 MB asked for are written, and there it rests.
  ASSERT_TRUE(RunUntil([&] { return copy.project.dataWritten.load() == 16 * kMB; }));
  ASSERT_TRUE(RunUntil([&] { return PL_MPLiveTaskCount() == held.tasksWhileHeld - 3; }));
  EXPECT_EQ(copy.project.dataWritten.load(), 16 * kMB);
  EXPECT_FALSE(copy.project.done.load());
  EXPECT_TRUE(copy.project.suspended.load());
  EXPECT_EQ(ReadFile(copy.target).size(), size_t(16 * kMB));

  Message(&copy.project, kDIO_MainThreadTaskType, kDIO_SuspendResumeMessageType);
  ASSERT_TRUE(RunUntil([&] { return copy.project.done.load(); }));
  EXPECT_EQ(copy.project.error.load(), noErr);
  EXPECT_TRUE(copy.Identical());
}

TEST_F(DiskIO, FullDiskKeepsTheProjectAndResumeCompletesIt) {
  Copy copy(dir.File("src"), dir.File("src.copy"), 10 * kMB + kMB / 2, 3);
  const ItemCount before = PL_MPLiveTaskCount();
  // Writes fail part of the way through the sixth megabyte.
  PL_FailWritesAfterBytes(5 * kMB + 1000);
  Post(&copy.project);
  ASSERT_TRUE(RunUntil([&] { return copy.project.error.load() == dskFulErr; }));
  // Kept: the project task and its disk's two tasks live on, the three stages have ended.
  ASSERT_TRUE(RunUntil([&] { return copy.project.suspended.load() && PL_MPLiveTaskCount() == before + 3; }));
  EXPECT_FALSE(copy.project.done.load());
  EXPECT_LE(copy.project.dataWritten.load(), 5 * kMB);

  PL_FailWritesAfterBytes(-1);
  Message(&copy.project, kDIO_MainThreadTaskType, kDIO_SuspendResumeMessageType);
  ASSERT_TRUE(RunUntil([&] { return copy.project.done.load(); }));
  EXPECT_EQ(copy.project.error.load(), noErr);
  EXPECT_TRUE(copy.Identical());
}

TEST_F(DiskIO, ImmediateStopLeavesTheHandlerReadyForTheNextProject) {
  const MPQueueID pool = ReadPool();
  Copy stopped(dir.File("a"), dir.File("a.copy"), 48 * kMB, 11);
  {
    HeldCopy held(pool, &stopped.project, [&] { Post(&stopped.project); });
    Message(&stopped.project, kDIO_ProjectsHandlerTaskType, kDIO_StopImmediateMessageType);
    ASSERT_TRUE(held.ReadStageStopping());
  }
  ASSERT_TRUE(RunUntil([&] { return stopped.project.done.load(); }));
  EXPECT_EQ(stopped.project.error.load(), userCanceledErr);
  // Every chunk came back to its pool.
  ASSERT_TRUE(RunUntil([&] { return PL_MPLiveTaskCount() == 1; }));  // the handler alone
  for (MPQueueID queue : {pool, probe->project.writeFreeQueue}) {
    std::vector<void *> chunks = TakeAll(queue);
    EXPECT_EQ(chunks.size(), size_t(kDIO_PoolChunks));
    GiveBack(queue, &chunks, chunks.size());
  }

  Copy next(dir.File("b"), dir.File("b.copy"), 3 * kMB + 5, 12);
  Post(&next.project);
  ASSERT_TRUE(RunUntil([&] { return next.project.done.load(); }));
  EXPECT_EQ(next.project.error.load(), noErr);
  EXPECT_TRUE(next.Identical());
}

TEST_F(DiskIO, QuitWithProjectsRunningEndsTheHandler) {
  const MPQueueID pool = ReadPool();
  Copy running(dir.File("a"), dir.File("a.copy"), 48 * kMB, 21);
  HeldCopy held(pool, &running.project, [&] { Post(&running.project); });
  ASSERT_EQ(PostQuitCommand(), noErr);
  ASSERT_TRUE(held.ReadStageStopping());
  held.Release();
  // The handler ended (its end was taken and its task data disposed on the main thread) after the project.
  ASSERT_TRUE(RunUntil([this] { return handler.ID == nullptr; }));
  RunCurrentEventLoop(kEventDurationNoWait);
  EXPECT_TRUE(running.project.done.load());
  EXPECT_EQ(running.project.error.load(), userCanceledErr);
  EXPECT_TRUE(RunUntil([] { return PL_MPLiveTaskCount() == 0; }));
  // The handler's queues are gone with it; a project posted now is refused by the handler's queue.
  EXPECT_EQ(MPNotifyQueue(pool, nullptr, nullptr, nullptr), kMPInvalidIDErr);
}

// DIO_Main runs the event loop itself; a task posts the projects and the quit command.
TEST(DiskIOMain, RunsUntilTheQuitCommand) {
  bz_test::TempDir dir;
  Copy a(dir.File("a"), dir.File("a.copy"), 2 * kMB + 1, 31), b(dir.File("b"), dir.File("b.copy"), 17, 32);
  MPQueueID term = nullptr;
  ASSERT_EQ(MPCreateQueue(&term), noErr);
  bz_test::StartTask(
      [&]() -> OSStatus {
        for (DIO_Project *p : {&a.project, &b.project}) PostProjectEvent(p);
        bz_test::WaitUntil([&] { return a.project.done.load() && b.project.done.load(); }, kLimitSeconds);
        return PostQuitCommand();
      },
      term);
  EXPECT_EQ(DIO_Main(), noErr);
  EXPECT_EQ(MPWaitOnQueue(term, nullptr, nullptr, nullptr, bz_test::kHangLimit), noErr);
  MPDeleteQueue(term);
  EXPECT_TRUE(a.Identical());
  EXPECT_TRUE(b.Identical());
  EXPECT_EQ(a.project.error.load(), noErr);
}

TEST(DiskIOLists, DisksByNameAndVolume) {
  EXPECT_TRUE(DIO_ErrorIsRecoverable(dskFulErr));
  for (OSStatus err : {OSStatus(noErr), OSStatus(ioErr), OSStatus(10019), OSStatus(permErr)}) EXPECT_FALSE(DIO_ErrorIsRecoverable(err));

  DIO_DiskInfoLE second{};
  DIO_DiskInfoLE first{};
  first.next = &second;
  std::snprintf(first.diskInfo.name, sizeof first.diskInfo.name, "%s", "/");
  // Names are compared over at most 256 characters.
  std::string longName(300, 'x');
  std::snprintf(second.diskInfo.name, sizeof second.diskInfo.name, "%s", longName.c_str());
  EXPECT_EQ(DIO_GetDiskInfo(&first, "/"), &first.diskInfo);
  EXPECT_EQ(DIO_GetDiskInfo(&first, std::string(255, 'x').c_str()), &second.diskInfo);
  EXPECT_EQ(DIO_GetDiskInfo(&first, "shm"), nullptr);

  bz_test::TempDir dir;
  FSCatalogInfo info{};
  const FSRef folder = bz_test::RefFor(dir.path());
  ASSERT_EQ(FSGetCatalogInfo(&folder, kFSCatInfoVolume, &info, nullptr, nullptr, nullptr), noErr);
  HFSUniStr255 name{};
  ASSERT_EQ(FSGetVolumeInfo(info.volume, 0, nullptr, kFSVolInfoNone, nullptr, &name, nullptr), noErr);
  DIO_DiskInfo *found = nullptr;
  std::snprintf(first.diskInfo.name, sizeof first.diskInfo.name, "%s", bz_test::Utf8(name).c_str());
  EXPECT_EQ(DIO_VolumeToDiskInfo(&first, info.volume, &found), noErr);
  EXPECT_EQ(found, &first.diskInfo);
  EXPECT_EQ(DIO_VolumeToDiskInfo(&second, info.volume, &found), kDIO_DiskNotFoundErr);
  EXPECT_EQ(found, nullptr);
}

}  // namespace
