// Track geometry: the aperture-mode dimensions of tracks (production aperture, clean aperture, encoded
// pixels) and the movie's aperture mode, the matrix that places a media's pixels in its track, shifting a
// track's matrix and clip, and small matrix utilities. The output movie takes its geometry from the source
// with these when it is saved.
//
// Main thread (the movie is not changed by others meanwhile); the matrix utilities run on any thread.
#pragma once

#include "movie/image_descriptions.h"
#include "platform/core/matrix_math.h"
#include "platform/movie/movie_properties.h"
#include "platform/movie/movie_toolbox.h"

// ---- Aperture modes ----

OSStatus QT_GetTrackProductionApertureDimensions(Track track, FixedPoint *dims);
OSStatus QT_GetTrackCleanApertureDimensions(Track track, FixedPoint *dims);
OSStatus QT_GetTrackEncodedPixelDimensions(Track track, FixedPoint *dims);
OSStatus QT_SetTrackProductionApertureDimensions(Track track, FixedPoint dims);
OSStatus QT_SetTrackCleanApertureDimensions(Track track, FixedPoint dims);
OSStatus QT_SetTrackEncodedPixelDimensions(Track track, FixedPoint dims);
OSStatus QT_MovieHasApertureModes(Movie movie, Boolean *hasApertureModeDimensions);
OSStatus QT_TrackHasApertureModes(Track track, Boolean *hasApertureModeDimensions);
// True when every enabled visual track has aperture-mode dimensions (also when there is none); the first
// error is returned.
OSStatus QT_AllVisualTracksHaveApertureModeDimensions(Movie movie, Boolean *allHave);
OSStatus QT_GetMovieApertureMode(Movie movie, OSType *apertureMode);
OSStatus QT_SetMovieApertureMode(Movie movie, OSType apertureMode);

// ---- Matrices ----

// The matrix that maps the media's pixels (mediaWidth x mediaHeight) onto the track: with aperture-mode
// dimensions, the clean aperture of the clap extension (native order; when hasClap) onto the clean
// dimensions, or the media onto the production aperture centred on the clean one; without, the media onto
// the track dimensions. A failure to read the clean dimensions is returned after the matrix is made.
OSStatus QT_GetMediaToTrackMatrix(Track track, Boolean hasApertureDims, Boolean hasClap, const QT_ClapExt *clapExt,
                                  SInt32 mediaHeight, SInt32 mediaWidth, MatrixRecord *matrix);
// The matrix that maps the source rectangle's corners onto the destination's.
OSStatus QT_FixedRectMatrix(MatrixRecord *matrix, const FixedRect *srcRect, const FixedRect *dstRect);
// The matrix that maps (0, 0, width, height) of the source onto that of the target.
void QT_RectMatrix(SInt32 srcWidth, SInt32 srcHeight, SInt32 trgtWidth, SInt32 trgtHeight, MatrixRecord *matrix);
// Moves the track's picture by (h, v) through its own matrix, and its clip region by their integer parts.
OSStatus QT_ShiftTrackMatrixAndClipF(Track track, Fixed h, Fixed v);
// b = a x b (the transformation of a, then b's).
void QT_MatrixLeftMultiply(const MatrixRecord *a, MatrixRecord *b);
// a = b x a.
void QT_MatrixRightMultiply(MatrixRecord *a, const MatrixRecord *b);
Boolean QT_IsIdentityMatrix(const MatrixRecord *matrix);
// The width and height of the transformed unit square as a reduced pixel aspect ratio.
void QT_GetMatrixPasp(const MatrixRecord *matrix, QT_PaspExt *paspExt);
// The description of a matrix type into descrStr (at least 32 bytes), zero-terminated.
void QT_MatrixTypeGetDescrStr(SInt16 matrixType, char *descrStr);
void QT_PrintMatrix(const MatrixRecord *matrix);
void QT_PrintMatrixWithName(const MatrixRecord *matrix, const char *name);
