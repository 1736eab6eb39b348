// File kinds and the default output folder.
#include "app/file_kinds.h"

#include "app/app_preferences.h"
#include "app/window_lookup.h"
#include "general/file_layer.h"
#include "movie/movie_files.h"

OSStatus BZ_IsOurFile(const FSRef *file, Boolean *inputMovie, Boolean *isLog) {
  if (file == nullptr || inputMovie == nullptr || isLog == nullptr) return paramErr;
  FSCatalogInfo catalog{};
  OSStatus err = FSGetCatalogInfo(file, kFSCatInfoFinderInfo, &catalog, nullptr, nullptr, nullptr);
  if (err != noErr) return err;
  const auto *finder = reinterpret_cast<const FileInfo *>(catalog.finderInfo);
  const bool noDialog = BZ_GetProjDlgWindow() == nullptr;
  switch (finder->fileType) {
    case 'MooV':
      *inputMovie = noDialog;
      *isLog = false;
      return noErr;
    case 'txtn':
      *isLog = finder->fileCreator == 'Orl1';
      *inputMovie = false;
      return noErr;
    default: {
      Boolean canOpenAsMovie = false;
      if ((err = QT_CanQuickTimeOpenFile(file, nullptr, &canOpenAsMovie, nullptr, 0)) != noErr) return err;
      *inputMovie = canOpenAsMovie && noDialog;
      *isLog = false;
      return noErr;
    }
  }
}

OSStatus BZ_GetDefaultTargetFolder(const FSRef *srcFile, FSRef *defaultTargetFolder) {
  if (defaultTargetFolder == nullptr) return paramErr;
  *defaultTargetFolder = FSRef{};
  BZ_AppPrefs prefs{};
  BZ_GetAppPrefs(&prefs);
  OSStatus err = noErr;
  if (prefs.outputFolderOption == 1 && srcFile != nullptr && GL_FSRefValid(srcFile))
    err = FSGetCatalogInfo(srcFile, 0, nullptr, nullptr, nullptr, defaultTargetFolder);
  else if (prefs.outputFolderOption == 2)
    *defaultTargetFolder = prefs.prevOutputFolder;
  if (!GL_FSRefValid(defaultTargetFolder)) {
    *defaultTargetFolder = FSRef{};
    err = FSFindFolder(kUserDomain, kMovieDocumentsFolderType, kCreateFolder, defaultTargetFolder);
  }
  return err;
}
