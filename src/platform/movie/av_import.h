// Movies from files that are not QuickTime movies, read through libavformat into the movie model: raw DV
// streams, MPEG-1 and MPEG-2 program streams and video elementary streams, and AVI files. The movie's samples
// refer to the bytes of the original file, so nothing is copied, and the file is never written (storing the
// movie into it gives wrPermErr).
//
//   DV    one video sample a frame at the stream's fixed frame size ('dvc ', 'dvcp', 'dvpp', 'dv5n', 'dv5p',
//         DVCPRO HD), at the stream's frame rate; the sound inside the frames as a 'vdva' sound track whose
//         samples are the same frames. Standard-definition fields come bottom first ('fiel' 2, 14).
//   MPEG  video 'm1v ' or 'm2v ' at time scale 90000, one sample a picture in decode order, evenly spaced at
//         the stream's frame rate, shown in the order of the pictures' temporal references (composition
//         offsets, and an edit that skips the decoder's delay); I pictures are sync samples. Sound ('.mp1',
//         '.mp2', '.mp3', 'ac-3') one sample a frame at the sound's rate. A program stream's samples lie in
//         the payloads of its packets: its media keep a stream data reference (kPL_DataRefStream), which
//         reads through those pieces and cannot be stored in a movie file.
//   AVI   each chunk a sample, in the order and with the key frames of the file's index; video by its codec
//         (DV as above, 'jpeg' for Motion-JPEG, '2vuy' and 'yuvs' for uncompressed 4:2:2, else QuickTime's
//         code for the codec, with the codec's configuration as a 'glbl' extension), PCM sound as 'sowt',
//         'twos' or 'raw '.
// The movie's time scale is the video media's; edits place each track as the file's time stamps do, the
// video beginning at movie time 0. Streams of other kinds are left out.
//
// Main thread (movies are opened there).
#pragma once

#include "platform/movie/movie_types.h"

#include <string>

// True when the file is of a kind imported here, judged by its first bytes and its name.
Boolean PL_CanImportMovieFile(const std::string &path);

// Imports the file at the absolute path into a new movie (owned: DisposeMovie). noMovieFound for a file of
// another kind, or one without a whole frame or any stream that imports; kPL_MovieSampleTableErr when what
// libavformat reads of it does not lie in the file as it says; memFullErr; the file's errors.
OSStatus PL_ImportMovieFile(const std::string &path, Movie *movie);
