// Apple Help stand-in: the help book is the folder "help" of the main bundle's resources, its pages opened
// with the desktop's browser. Main thread.
#pragma once

#include "platform/core/cf_base.h"
#include "platform/core/files.h"

// noErr when the bundle holds the help folder, fnfErr when it is missing (paramErr for NULL).
OSStatus AHRegisterHelpBook(const FSRef *appBundleRef);
// Opens the page (a path inside the help folder, "" or NULL for "html/General.html"); the book name is
// ignored (there is one book), an anchor is appended as "#anchor". fnfErr when the page does not exist.
OSStatus AHGotoPage(CFStringRef bookName, CFStringRef path, CFStringRef anchor);

// Test hook: with `record` set pages are not opened but recorded; PL_CopyLastHelpPage gives the last one as
// the path passed (owned), NULL when none.
void PL_RecordHelpPages(Boolean record);
CFStringRef PL_CopyLastHelpPage();
