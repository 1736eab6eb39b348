// Track geometry, matrices and clean aperture.
#include "movie/track_geometry.h"

#include "general/geometry.h"
#include "general/integer_ratios.h"
#include "platform/core/mac_errors.h"
#include "platform/movie/toolbox_time.h"

#include <cstdio>
#include <cstring>

namespace {

OSStatus GetDims(Track track, OSType id, FixedPoint *dims) {
  if (dims == nullptr) return paramErr;
  return QTGetTrackProperty(track, kQTPropertyClass_Visual, id, sizeof(FixedPoint), dims, nullptr);
}

OSStatus SetDims(Track track, OSType id, FixedPoint dims) {
  return QTSetTrackProperty(track, kQTPropertyClass_Visual, id, sizeof(FixedPoint), &dims);
}

void Corners(const FixedRect *r, Fixed out[8]) {
  const Fixed q[8] = {r->left, r->top, r->right, r->top, r->right, r->bottom, r->left, r->bottom};
  std::memcpy(out, q, sizeof(q));
}

void PrintRows(const MatrixRecord *m) {
  std::printf("Matrix: row 1 %.4f,%.4f,%.4f, row 2 %.4f,%.4f,%.4f, row 3 %.4f,%.4f,%.4f\n", Fix2X(m->matrix[0][0]),
              Fix2X(m->matrix[0][1]), Frac2X(m->matrix[0][2]), Fix2X(m->matrix[1][0]), Fix2X(m->matrix[1][1]),
              Frac2X(m->matrix[1][2]), Fix2X(m->matrix[2][0]), Fix2X(m->matrix[2][1]), Frac2X(m->matrix[2][2]));
}

}  // namespace

// ---- Aperture modes ----

OSStatus QT_GetTrackProductionApertureDimensions(Track track, FixedPoint *dims) {
  return GetDims(track, kQTVisualPropertyID_ProductionApertureDimensions, dims);
}
OSStatus QT_GetTrackCleanApertureDimensions(Track track, FixedPoint *dims) {
  return GetDims(track, kQTVisualPropertyID_CleanApertureDimensions, dims);
}
OSStatus QT_GetTrackEncodedPixelDimensions(Track track, FixedPoint *dims) {
  return GetDims(track, kQTVisualPropertyID_EncodedPixelsDimensions, dims);
}
OSStatus QT_SetTrackProductionApertureDimensions(Track track, FixedPoint dims) {
  return SetDims(track, kQTVisualPropertyID_ProductionApertureDimensions, dims);
}
OSStatus QT_SetTrackCleanApertureDimensions(Track track, FixedPoint dims) {
  return SetDims(track, kQTVisualPropertyID_CleanApertureDimensions, dims);
}
OSStatus QT_SetTrackEncodedPixelDimensions(Track track, FixedPoint dims) {
  return SetDims(track, kQTVisualPropertyID_EncodedPixelsDimensions, dims);
}

OSStatus QT_MovieHasApertureModes(Movie movie, Boolean *hasApertureModeDimensions) {
  if (hasApertureModeDimensions == nullptr) return paramErr;
  return QTGetMovieProperty(movie, kQTPropertyClass_Visual, kQTVisualPropertyID_HasApertureModeDimensions, 1,
                            hasApertureModeDimensions, nullptr);
}

OSStatus QT_TrackHasApertureModes(Track track, Boolean *hasApertureModeDimensions) {
  if (hasApertureModeDimensions == nullptr) return paramErr;
  return QTGetTrackProperty(track, kQTPropertyClass_Visual, kQTVisualPropertyID_HasApertureModeDimensions, 1,
                            hasApertureModeDimensions, nullptr);
}

OSStatus QT_AllVisualTracksHaveApertureModeDimensions(Movie movie, Boolean *allHave) {
  if (allHave == nullptr) return paramErr;
  *allHave = true;
  for (SInt32 i = 1;; ++i) {
    Track t = GetMovieIndTrackType(movie, i, VisualMediaCharacteristic, movieTrackCharacteristic | movieTrackEnabledOnly);
    if (t == nullptr) return noErr;
    Boolean has = false;
    OSStatus err = QT_TrackHasApertureModes(t, &has);
    if (err != noErr) return err;
    if (!has) {
      *allHave = false;
      return noErr;
    }
  }
}

OSStatus QT_GetMovieApertureMode(Movie movie, OSType *apertureMode) {
  if (apertureMode == nullptr) return paramErr;
  return QTGetMovieProperty(movie, kQTPropertyClass_Visual, kQTVisualPropertyID_ApertureMode, 4, apertureMode, nullptr);
}

OSStatus QT_SetMovieApertureMode(Movie movie, OSType apertureMode) {
  return QTSetMovieProperty(movie, kQTPropertyClass_Visual, kQTVisualPropertyID_ApertureMode, 4, &apertureMode);
}

// ---- Matrices ----

OSStatus QT_GetMediaToTrackMatrix(Track track, Boolean hasApertureDims, Boolean hasClap, const QT_ClapExt *clapExt,
                                  SInt32 mediaHeight, SInt32 mediaWidth, MatrixRecord *matrix) {
  if (matrix == nullptr) return paramErr;
  FixedRect src{0, 0, Long2Fix(mediaWidth), Long2Fix(mediaHeight)}, dst{};
  OSStatus cleanErr = noErr;
  if (hasApertureDims) {
    FixedPoint clean{0, 0};
    cleanErr = QT_GetTrackCleanApertureDimensions(track, &clean);
    if (hasClap && clapExt != nullptr) {
      QT_GetScaledClip(src.right, src.bottom, nullptr, clapExt, nullptr, &src, true);
      if (cleanErr != noErr) return cleanErr;
      dst = FixedRect{0, 0, clean.x, clean.y};
    } else {
      FixedPoint prod{0, 0};
      OSStatus err = QT_GetTrackProductionApertureDimensions(track, &prod);
      if (err != noErr) return err;
      dst = FixedRect{0, 0, prod.x, prod.y};
      GL_OffsetFixedRect(&dst, -((prod.x - clean.x) / 2), -((prod.y - clean.y) / 2));
    }
  } else {
    Fixed w = 0, h = 0;
    GetTrackDimensions(track, &w, &h);
    OSStatus err = GetMoviesError();
    if (err != noErr) return err;
    dst = FixedRect{0, 0, w, h};
  }
  OSStatus err = QT_FixedRectMatrix(matrix, &src, &dst);
  return err != noErr ? err : cleanErr;
}

OSStatus QT_FixedRectMatrix(MatrixRecord *matrix, const FixedRect *srcRect, const FixedRect *dstRect) {
  Fixed src[8], dst[8];
  Corners(srcRect, src);
  Corners(dstRect, dst);
  return QuadToQuadMatrix(src, dst, matrix);
}

void QT_RectMatrix(SInt32 srcWidth, SInt32 srcHeight, SInt32 trgtWidth, SInt32 trgtHeight, MatrixRecord *matrix) {
  Rect src, dst;
  GL_SetRectTlbr(&src, 0, 0, SInt16(srcHeight), SInt16(srcWidth));
  GL_SetRectTlbr(&dst, 0, 0, SInt16(trgtHeight), SInt16(trgtWidth));
  RectMatrix(matrix, &src, &dst);
}

OSStatus QT_ShiftTrackMatrixAndClipF(Track track, Fixed h, Fixed v) {
  MatrixRecord m;
  GetTrackMatrix(track, &m);
  OSStatus err = GetMoviesError();
  if (err != noErr) return err;
  TranslateMatrix(&m, h, v);
  FixedPoint p{h, v};
  if ((err = TransformFixedPoints(&m, &p, 1)) != noErr) return err;
  TranslateMatrix(&m, -p.x, -p.y);
  SetTrackMatrix(track, &m);
  RgnHandle clip = GetTrackClipRgn(track);
  if ((err = GetMoviesError()) != noErr) return err;
  if (clip != nullptr) {
    OffsetRgn(clip, SInt16(h / 65536), SInt16(v / 65536));
    SetTrackClipRgn(track, clip);
    err = GetMoviesError();
    DisposeRgn(clip);
  }
  return err;
}

void QT_MatrixLeftMultiply(const MatrixRecord *a, MatrixRecord *b) { ConcatMatrix(a, b); }

void QT_MatrixRightMultiply(MatrixRecord *a, const MatrixRecord *b) { ConcatMatrix(b, a); }

Boolean QT_IsIdentityMatrix(const MatrixRecord *matrix) {
  MatrixRecord identity;
  SetIdentityMatrix(&identity);
  return EqualMatrix(matrix, &identity);
}

void QT_GetMatrixPasp(const MatrixRecord *matrix, QT_PaspExt *paspExt) {
  FixedRect unit{0, 0, fixed1, fixed1};
  TransformFixedRect(matrix, &unit, nullptr);
  UInt64 w = UInt64(SInt64(unit.right) - unit.left), h = UInt64(SInt64(unit.bottom) - unit.top);
  UInt64 g = GL_GetGCD(w, h);
  if (g == 0) g = 1;
  paspExt->hSpacing = UInt32(w / g);
  paspExt->vSpacing = UInt32(h / g);
}

void QT_MatrixTypeGetDescrStr(SInt16 matrixType, char *descrStr) {
  static const char *const kTexts[] = {"Identity matrix (= do nothing)", "Translation matrix", "Scaling matrix",
                                       "Scaling + translation matrix",   "Linear matrix",      "Linear and translation matrix",
                                       "Perspective matrix"};
  const char *text = matrixType >= 0 && matrixType <= 6 ? kTexts[matrixType] : "Unknown matrix type";
  std::snprintf(descrStr, 32, "%s", text);
}

void QT_PrintMatrix(const MatrixRecord *matrix) { PrintRows(matrix); }

void QT_PrintMatrixWithName(const MatrixRecord *matrix, const char *name) {
  std::printf("%s: ", name ? name : "");
  PrintRows(matrix);
}
