// Opening a movie chosen by the user.
#include "movie/movie_files_ui.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/movie/movie_pictures.h"
#include "toolkit/icons.h"
#include "toolkit/navigation_dialogs.h"

OSStatus QT_OpenMovieWithDialog(FSRef *file, CFStringRef appName, CFStringRef message, SInt16 flags, Movie *movie) {
  if (file == nullptr || movie == nullptr) return paramErr;
  *movie = nullptr;
  // The chooser's data: a count, then the file types.
  struct {
    SInt16 count;
    OSType types[2];
  } typeList{2, {'MooV', 'MPEG'}};
  OSStatus err = NS_GetSingleFileFromUser(NS_DummyEventHandler, QT_MovieFilter, &typeList, appName,
                                          message != nullptr ? message : CFSTR("Please select a movie"), file);
  if (err != noErr) return err;
  return QT_OpenMovieFile(file, flags, movie);
}

OSStatus QT_MovieFileToIcon(const FSRef *file, IconRef *icon) {
  if (icon == nullptr) return paramErr;
  *icon = nullptr;
  Movie movie = nullptr;
  OSStatus err = QT_OpenMovieFile(file, 0, &movie);
  if (err != noErr) return err;
  PicHandle poster = GetMoviePosterPict(movie);
  err = GetMoviesError();
  if (poster != nullptr) err = IC_PicToIcon(poster, icon);
  KillPicture(poster);
  DisposeMovie(movie);
  return err;
}
