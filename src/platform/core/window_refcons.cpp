// Window Manager stand-in for a window's reference constant.
#include "platform/core/window_refcons.h"

#include <map>

namespace {
std::map<WindowRef, SRefCon> gRefCons;
}  // namespace

void SetWRefCon(WindowRef window, SRefCon data) {
  if (window == nullptr) return;
  if (data == nullptr)
    gRefCons.erase(window);
  else
    gRefCons[window] = data;
}

SRefCon GetWRefCon(WindowRef window) {
  auto it = gRefCons.find(window);
  return it != gRefCons.end() ? it->second : nullptr;
}
