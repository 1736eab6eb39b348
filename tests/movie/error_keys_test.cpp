// The movie and sound libraries' error keys.
#include "movie/aiff_export_import.h"
#include "movie/atom_containers.h"

#include "support/cf_check.h"

#include <gtest/gtest.h>

namespace {

struct Case {
  OSStatus error;
  const char *key;
};

TEST(MovieErrorKeys, MovieLibraryTable) {
  const Case cases[] = {
      {11000, "GL UnknownErr"},
      {11001, "QT LowVersionErr"},
      {11002, "QT NoControllerOpenedErr"},
      {11003, "QT ComponentDidntHandleRequestErr"},
      {11004, "QT NoComponentFoundErr"},
      {11005, "QT DataRefIndexNotInMediaErr"},
      {11006, "QT CouldNotOpenMovieFileErr"},
      {11007, "QT CouldNotGetAllMovieFileReferencesErr"},
      {11008, "QT CouldNotDeleteMovieFileErr"},
      {11009, "QT CouldNotDeleteMovieFileErr"},
      {11010, "QT DataRefNotFileErr"},
      {11011, "QT NoVideoTrackErr"},
      {11012, "GL UnknownErr"},
      {11013, "QT UnknownTimeScaleErr"},
      {11014, "GL UnknownErr"},
      {11015, "QT MdatHeaderErr"},
      {11016, "QT AtomErr"},
      {11018, "QT AtomErr"},
      {11019, "GL UnknownErr"},
      {11020, "QT LibErr"},
      {11022, "QT LibErr"},
      {11023, "GL UnknownErr"},
      {22000, "GL UnknownErr"},
  };
  for (const Case &c : cases) {
    CFStringRef key = nullptr;
    QT_GetLibErrorKey(c.error, &key);
    EXPECT_EQ(bz_test::CFText(key), c.key) << c.error;
  }
}

TEST(MovieErrorKeys, AIFFTable) {
  const Case cases[] = {{19000, "GL UnknownErr"},
                        {19001, "IA SoundExportCompNotFoundErr"},
                        {19002, "IA SoundImportCompNotFoundErr"},
                        {19003, "GL UnknownErr"},
                        {22000, "GL UnknownErr"}};
  for (const Case &c : cases) {
    CFStringRef key = nullptr;
    IA_GetLibErrorKey(c.error, &key);
    EXPECT_EQ(bz_test::CFText(key), c.key) << c.error;
  }
}

}  // namespace
