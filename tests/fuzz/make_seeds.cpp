// Writes the fuzz targets' seed corpus into <out>/<target>/: inputs made by our own writers (a fixture movie,
// an atom container, property lists, an edit-list file), the movies that ffmpeg made in <movies> (copied,
// and their first video sample with its description taken out for the description target).
#include "engine/runtime/method_settings.h"
#include "general/cf_encodings.h"
#include "outliers/outlier_edit_lists.h"
#include "platform/core/cf_base.h"
#include "platform/core/cf_data.h"
#include "platform/core/cf_plist.h"
#include "platform/core/memory.h"
#include "platform/movie/atom_container.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/movie/toolbox_time.h"
#include "support/movie_fixtures.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string gOut;

void Put(const char *target, const std::string &name, const std::vector<uint8_t> &bytes) {
  fs::create_directories(gOut + "/" + target);
  if (!bz_test::WriteWholeFile(gOut + "/" + target + "/" + name, bytes)) {
    std::fprintf(stderr, "cannot write seed %s/%s\n", target, name.c_str());
    std::exit(1);
  }
}

std::vector<uint8_t> HandleBytes(Handle h) {
  const UInt8 *p = reinterpret_cast<const UInt8 *>(*h);
  return std::vector<uint8_t>(p, p + GetHandleSize(h));
}

// The description target's input: length, description, sample.
std::vector<uint8_t> DescriptionSeed(Handle desc, const std::vector<uint8_t> &sample) {
  std::vector<uint8_t> seed = HandleBytes(desc);
  const size_t n = seed.size();
  seed.insert(seed.begin(), {uint8_t(n >> 8), uint8_t(n)});
  seed.insert(seed.end(), sample.begin(), sample.end());
  return seed;
}

// The first video sample of a movie with its description; false when there is none.
bool FirstVideoSample(const std::string &path, std::vector<uint8_t> *seed) {
  Movie movie = nullptr;
  if (bz_test::OpenMovieAtPath(path, &movie) != noErr) return false;
  bool found = false;
  Track track = GetMovieIndTrackType(movie, 1, VideoMediaType, movieTrackMediaType);
  Media media = track != nullptr ? GetTrackMedia(track) : nullptr;
  Handle sample = NewHandle(0), desc = NewHandle(0);
  if (media != nullptr && GetMediaSample(media, sample, 0, nullptr, 0, nullptr, nullptr,
                                         reinterpret_cast<SampleDescriptionHandle>(desc), nullptr, 1, nullptr,
                                         nullptr) == noErr) {
    *seed = DescriptionSeed(desc, HandleBytes(sample));
    found = true;
  }
  DisposeHandle(sample);
  DisposeHandle(desc);
  DisposeMovie(movie);
  return found;
}

void MovieSeeds(const std::string &movies) {
  bz_test::FixtureMovieSpec spec;
  spec.frames = 2;
  const std::string own = gOut + "/fixture.mov";
  bz_test::FixtureMovieInfo info;
  if (bz_test::WriteFixtureMovie(own, spec, &info) != noErr) std::exit(1);
  Put("movie_file", "fixture.mov", bz_test::ReadWholeFile(own));
  std::vector<uint8_t> seed;
  if (FirstVideoSample(own, &seed)) Put("image_description", "fixture_2vuy", seed);
  fs::remove(own);
  std::error_code ec;
  for (const auto &entry : fs::directory_iterator(movies, ec)) {
    if (!entry.is_regular_file()) continue;
    const std::string name = entry.path().filename().string();
    const std::vector<uint8_t> bytes = bz_test::ReadWholeFile(entry.path().string());
    Put("movie_file", name, bytes);
    if (entry.path().extension() != ".mov") Put("av_import", name, bytes);
    if (FirstVideoSample(entry.path().string(), &seed)) Put("image_description", name + ".sample", seed);
  }
}

void AtomContainerSeeds() {
  QTAtomContainer c = nullptr;
  if (QTNewAtomContainer(&c) != noErr) std::exit(1);
  QTAtom parent = 0, child = 0;
  QTInsertChild(c, kParentAtomIsContainer, 'sptl', 1, 0, 0, nullptr, &parent);
  QTInsertChild(c, parent, 'cmpr', 1, 0, 4, "2vuy", &child);
  const UInt8 region[8] = {0, 0, 0, 16, 0, 0, 1, 0};
  QTInsertChild(c, parent, 'DARF', 1, 0, sizeof region, region, &child);
  QTInsertChild(c, kParentAtomIsContainer, 'tprl', 1, 0, 0, nullptr, &parent);
  QTInsertChild(c, parent, 'frat', 1, 0, 4, "\0\x19\0\0", &child);
  Put("atom_container", "settings", HandleBytes(c));
  QTDisposeAtomContainer(c);
}

void PropertyListSeeds() {
  const char *text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
      "  <key>App Prefs</key><dict><key>Output folder</key><integer>2</integer><key>Beep</key><true/></dict>\n"
      "  <key>Preview Size</key><array><real>1.5</real><integer>-3</integer><false/></array>\n"
      "  <key>Log Alias</key><data>AAECAwQ=</data>\n"
      "  <key>When</key><date>2026-01-02T03:04:05Z</date>\n"
      "  <key>Version</key><string>1.0 \xC3\xA9</string>\n"
      "</dict>\n</plist>\n";
  Put("plist", "preferences.plist", std::vector<uint8_t>(text, text + std::strlen(text)));
  BZ_OuSett sett{};
  BZ_MakeDefaultOuSett(&sett);
  CFDictionaryRef dict = BZ_CreateOuSettDict(&sett);
  CFDataRef xml = CFPropertyListCreateXMLData(nullptr, dict);
  if (xml != nullptr) {
    Put("plist", "outlier_settings.plist",
        std::vector<uint8_t>(CFDataGetBytePtr(xml), CFDataGetBytePtr(xml) + CFDataGetLength(xml)));
    CFRelease(xml);
  }
  CFRelease(dict);
}

void EditListSeeds() {
  BZ_OuSett sett{};
  BZ_MakeDefaultOuSett(&sett);
  std::vector<uint8_t> bytes(kBZ_OuOelSettSize);
  BZ_OuSettToFileBytes(&sett, bytes.data());
  // Two frames: two toggles, then a drawn speck and a scratch.
  const uint8_t frames[] = {2, 0, 0, 0,
                            12, 0, 0, 0, 2, 0, 0, 0,  3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                            4, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                            40, 0, 0, 0, 2, 0, 0, 0,  1, 0, 0, 0, 2, 0, 0, 0, 10, 0, 20, 0, 30, 0, 40, 0,
                            0, 0, 0, 0, 3, 0, 0, 0, 1, 0, 1, 0, 9, 0, 9, 0};
  bytes.insert(bytes.end(), std::begin(frames), std::end(frames));
  Put("outlier_edit_list", "two_frames.kbzoel", bytes);
  bytes.resize(kBZ_OuOelHeaderSize);
  std::memset(bytes.data() + kBZ_OuOelSettSize, 0, 4);
  Put("outlier_edit_list", "empty.kbzoel", bytes);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <out> <movies made by ffmpeg>\n", argv[0]);
    return 2;
  }
  gOut = argv[1];
  fs::create_directories(gOut);
  MovieSeeds(argv[2]);
  AtomContainerSeeds();
  PropertyListSeeds();
  EditListSeeds();
  return 0;
}
