// Movie Toolbox stand-in, the visual side of movies and tracks: the aperture-mode properties of class
// 'visu' (production, clean and encoded-pixels dimensions of a track, whether a movie or track has them,
// the movie's aperture mode), track clip regions, the movie box, and whether a track has a matte.
//
// Aperture dimensions live in the track's 'tapt' atom, clip regions in its 'clip' atom (a QuickDraw region),
// both written with the movie. Every call sets GetMoviesError. Threads: as movie_toolbox.h.
#pragma once

#include "platform/core/quickdraw_geometry.h"
#include "platform/movie/image_descriptions.h"
#include "platform/movie/movie_toolbox.h"
#include "platform/movie/movie_types.h"

enum : OSType {
  kQTPropertyClass_Visual = 'visu',
  kQTVisualPropertyID_HasApertureModeDimensions = 'hamd',        // Boolean, movie or track (read only)
  kQTVisualPropertyID_ApertureMode = 'apmd',                     // OSType, movie
  kQTVisualPropertyID_ProductionApertureDimensions = 'prdi',     // FixedPoint, track
  kQTVisualPropertyID_CleanApertureDimensions = 'cadi',          // FixedPoint, track
  kQTVisualPropertyID_EncodedPixelsDimensions = 'endi',          // FixedPoint, track
};

// Aperture modes: the dimensions tracks are shown with.
enum : OSType {
  kQTApertureMode_Classic = 'clas',
  kQTApertureMode_CleanAperture = 'clea',
  kQTApertureMode_ProductionAperture = 'prod',
  kQTApertureMode_EncodedPixels = 'enco',
};

// Track properties. A dimension the track has none of gives kQTPropertyNotSupportedErr, as does another
// class or identifier; kQTPropertyBadValueSizeErr for a size other than the value's (a larger get buffer is
// fine; *outPropValueSizeUsed, may be NULL, gets the size written).
OSErr QTGetTrackProperty(Track theTrack, QTPropertyClass inPropClass, QTPropertyID inPropID, ByteCount inPropValueSize,
                         void *outPropValueAddress, ByteCount *outPropValueSizeUsed);
OSErr QTSetTrackProperty(Track theTrack, QTPropertyClass inPropClass, QTPropertyID inPropID, ByteCount inPropValueSize,
                         const void *inPropValueAddress);
// Movie properties: 'hamd' is true when any track has aperture-mode dimensions; 'apmd' is the mode (classic
// until one is set). Setting a mode gives every track that has the mode's dimensions those dimensions
// (classic leaves them); paramErr for an unknown mode.
OSErr QTGetMovieProperty(Movie theMovie, QTPropertyClass inPropClass, QTPropertyID inPropID, ByteCount inPropValueSize,
                         void *outPropValueAddress, ByteCount *outPropValueSizeUsed);
OSErr QTSetMovieProperty(Movie theMovie, QTPropertyClass inPropClass, QTPropertyID inPropID, ByteCount inPropValueSize,
                         const void *inPropValueAddress);

// A copy of the track's clip region (owned; DisposeRgn), NULL when the track has none. A stored region that
// does not hold together gives NULL with kPL_MovieAtomErr.
RgnHandle GetTrackClipRgn(Track theTrack);
// Copies the region as the track's clip; NULL removes the clip. rgnTooBigErr for a region the file's
// region format cannot hold (over 32 KB).
void SetTrackClipRgn(Track theTrack, RgnHandle theClip);

// The bounding box of the enabled tracks' rectangles, each through its track matrix, then through the
// movie matrix; an empty rectangle when no track shows anything.
void GetMovieBox(Movie theMovie, Rect *boxRect);
// Changes the movie matrix so that the movie box becomes boxRect.
void SetMovieBox(Movie theMovie, const Rect *boxRect);

// True when the track has a matte (a 'matt' atom).
Boolean PL_TrackHasMatte(Track theTrack);
