// System sounds through libcanberra.
#include "platform/ui/system_sounds.h"

#include "platform/core/mac_errors.h"

#include <canberra.h>

#include <cstdio>
#include <map>
#include <mutex>
#include <string>

namespace {

struct Action {
  std::string path;
  SystemSoundCompletionUPP completion = nullptr;
  void *userData = nullptr;
};

std::mutex &Lock() {
  static auto *lock = new std::mutex;
  return *lock;
}
// Never destroyed: the sound service may call back while the process ends.
std::map<SystemSoundActionID, Action> &Actions() {
  static auto *actions = new std::map<SystemSoundActionID, Action>;
  return *actions;
}
SystemSoundActionID gNextID = 1;
std::string gLastPlayed;
bool gSilent = false;
bool gToldNoOutput = false;
ca_context *gContext = nullptr;

// Files of the desktop's sound theme play by their name, which the theme resolves; ours play by path.
bool IsThemeFile(const std::string &path) { return path.rfind("/usr/share/sounds/", 0) == 0; }

std::string BaseName(const std::string &path) {
  const size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.find('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

void Complete(SystemSoundActionID id) {
  SystemSoundCompletionUPP proc = nullptr;
  void *userData = nullptr;
  {
    std::lock_guard<std::mutex> guard(Lock());
    auto it = Actions().find(id);
    if (it == Actions().end()) return;
    proc = it->second.completion;
    userData = it->second.userData;
  }
  if (proc != nullptr) proc(id, userData);
}

void Finished(ca_context *, uint32_t id, int, void *) { Complete(SystemSoundActionID(id)); }

void TellNoOutput(int error) {
  if (gToldNoOutput) return;
  gToldNoOutput = true;
  std::fprintf(stderr, "Brizel: no sound output, sounds are not played (%s)\n", ca_strerror(error));
}

}  // namespace

OSStatus SystemSoundGetActionID(const FSRef *userFile, SystemSoundActionID *outActionID) {
  if (userFile == nullptr || outActionID == nullptr) return paramErr;
  *outActionID = 0;
  std::string path;
  OSStatus err = PL_FSRefMakePathString(userFile, &path);
  if (err != noErr) return err;
  std::lock_guard<std::mutex> guard(Lock());
  const SystemSoundActionID id = gNextID++;
  Actions()[id] = Action{path, nullptr, nullptr};
  *outActionID = id;
  return noErr;
}

OSStatus SystemSoundRemoveActionID(SystemSoundActionID inAction) {
  std::lock_guard<std::mutex> guard(Lock());
  return Actions().erase(inAction) != 0 ? OSStatus(noErr) : OSStatus(paramErr);
}

OSStatus SystemSoundSetCompletionRoutine(SystemSoundActionID inAction, CFRunLoopRef, CFStringRef,
                                         SystemSoundCompletionUPP inCompletionRoutine, void *inUserData) {
  std::lock_guard<std::mutex> guard(Lock());
  auto it = Actions().find(inAction);
  if (it == Actions().end()) return paramErr;
  it->second.completion = inCompletionRoutine;
  it->second.userData = inUserData;
  return noErr;
}

void SystemSoundPlay(SystemSoundActionID inAction) {
  std::string path;
  {
    std::lock_guard<std::mutex> guard(Lock());
    auto it = Actions().find(inAction);
    if (it == Actions().end()) return;
    path = it->second.path;
    gLastPlayed = path;
  }
  int error = CA_ERROR_DISABLED;
  if (!gSilent) {
    if (gContext == nullptr) {
      error = ca_context_create(&gContext);
      if (error != CA_SUCCESS) gContext = nullptr;
    }
    if (gContext != nullptr) {
      ca_proplist *props = nullptr;
      error = ca_proplist_create(&props);
      if (error == CA_SUCCESS) {
        if (IsThemeFile(path))
          ca_proplist_sets(props, CA_PROP_EVENT_ID, BaseName(path).c_str());
        else
          ca_proplist_sets(props, CA_PROP_MEDIA_FILENAME, path.c_str());
        error = ca_context_play_full(gContext, inAction, props, Finished, nullptr);
        ca_proplist_destroy(props);
      }
    }
    if (error != CA_SUCCESS) TellNoOutput(error);
  }
  // Nothing is playing: the sound is over at once.
  if (error != CA_SUCCESS) Complete(inAction);
}

const char *PL_GetLastSystemSoundPlayed() {
  std::lock_guard<std::mutex> guard(Lock());
  static std::string copy;
  copy = gLastPlayed;
  return copy.c_str();
}

ItemCount PL_CountSystemSoundActionIDs() {
  std::lock_guard<std::mutex> guard(Lock());
  return Actions().size();
}

void PL_SetSystemSoundsSilent(Boolean silent) { gSilent = silent != 0; }
