// AIFF headers: written as AIFF-C of fixed length, read from AIFF and AIFF-C.
#include "platform/movie/sound_files.h"

#include "platform/core/mac_errors.h"
#include "platform/movie/atoms.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr UInt32 kAIFCVersion1 = 0xA2805140;
// The compression name, a Pascal string padded to an even length: the same for every type, so that every
// header has one length.
constexpr char kCompressionName[16] = "\x0Enot compressed";

// An 80-bit IEEE extended value (the COMM sample rate).
void PutExtended(UInt8 *p, double value) {
  std::memset(p, 0, 10);
  if (value <= 0) return;
  int exponent = 0;
  double mantissa = std::frexp(value, &exponent);  // value = mantissa * 2^exponent, mantissa in [0.5, 1)
  UInt64 bits = UInt64(std::ldexp(mantissa, 64));
  UInt16 e = UInt16(exponent - 1 + 16383);
  p[0] = UInt8(e >> 8);
  p[1] = UInt8(e);
  PL_PutBE64(p + 2, bits);
}

double GetExtended(const UInt8 *p) {
  int e = ((p[0] & 0x7F) << 8) | p[1];
  UInt64 bits = PL_GetBE64(p + 2);
  if (e == 0 && bits == 0) return 0;
  double v = std::ldexp(double(bits), e - 16383 - 63);
  return (p[0] & 0x80) ? -v : v;
}

}  // namespace

OSErr SetupAIFFHeader(FSIORefNum fRefNum, SInt16 numChannels, UInt32 sampleRate, SInt16 sampleSize,
                      OSType compressionType, UInt32 numBytes, UInt32 numFrames) {
  if (numChannels < 1 || sampleSize < 1) return paramErr;
  if (numBytes > 0xFFFFFFFFu - (kPL_AIFFHeaderSize - 8)) return paramErr;
  UInt8 h[kPL_AIFFHeaderSize];
  UInt8 *p = h;
  auto put32 = [&p](UInt32 v) {
    PL_PutBE32(p, v);
    p += 4;
  };
  auto put16 = [&p](UInt16 v) {
    PL_PutBE16(p, v);
    p += 2;
  };
  put32('FORM');
  put32(kPL_AIFFHeaderSize - 8 + numBytes);
  put32('AIFC');
  put32('FVER');
  put32(4);
  put32(kAIFCVersion1);
  put32('COMM');
  put32(18 + 4 + sizeof kCompressionName);
  put16(UInt16(numChannels));
  put32(numFrames);
  put16(UInt16(sampleSize));
  PutExtended(p, double(sampleRate) / 65536.0);
  p += 10;
  put32(compressionType);
  std::memcpy(p, kCompressionName, sizeof kCompressionName);
  p += sizeof kCompressionName;
  put32('SSND');
  put32(8 + numBytes);
  put32(0);  // offset
  put32(0);  // block size
  if (p != h + sizeof h) return paramErr;  // the layout above fills the header exactly
  return FSWriteFork(fRefNum, fsAtMark, 0, sizeof h, h, nullptr);
}

OSStatus PL_ReadAIFFHeader(FSIORefNum fRefNum, PL_AIFFInfo *info) {
  if (info == nullptr) return paramErr;
  std::memset(info, 0, sizeof *info);
  SInt64 fileSize = 0;
  OSStatus err = FSGetForkSize(fRefNum, &fileSize);
  if (err != noErr) return err;
  UInt8 head[12];
  ByteCount got = 0;
  err = FSReadFork(fRefNum, fsFromStart, 0, 12, head, &got);
  if (err != noErr) return err == eofErr ? OSStatus(kPL_AIFFFormatErr) : err;
  OSType form = PL_GetBE32(head + 8);
  if (PL_GetBE32(head) != 'FORM' || (form != 'AIFF' && form != 'AIFC')) return kPL_AIFFFormatErr;
  info->compressed = form == 'AIFC';
  info->compression = 'NONE';
  SInt64 end = std::min<SInt64>(fileSize, 8 + SInt64(PL_GetBE32(head + 4)));
  bool haveComm = false, haveData = false;
  for (SInt64 at = 12; at + 8 <= end;) {
    UInt8 chunk[8];
    err = FSReadFork(fRefNum, fsFromStart, at, 8, chunk, &got);
    if (err != noErr) return err;
    OSType id = PL_GetBE32(chunk);
    SInt64 size = PL_GetBE32(chunk + 4);
    SInt64 body = at + 8;
    if (body + size > end) {
      // A sound chunk cut short (a file still being written) keeps the samples that are there.
      if (id != 'SSND') return kPL_AIFFFormatErr;
      size = end - body;
    }
    if (id == 'COMM') {
      UInt8 c[24] = {};
      if (size < 18 || (info->compressed && size < 22)) return kPL_AIFFFormatErr;
      err = FSReadFork(fRefNum, fsFromStart, body, ByteCount(std::min<SInt64>(size, 22)), c, &got);
      if (err != noErr) return err;
      info->numChannels = SInt16(PL_GetBE16(c));
      info->numFrames = PL_GetBE32(c + 2);
      info->sampleSize = SInt16(PL_GetBE16(c + 6));
      info->sampleRate = GetExtended(c + 8);
      if (info->compressed) info->compression = PL_GetBE32(c + 18);
      haveComm = true;
    } else if (id == 'SSND') {
      UInt8 s[8];
      if (size < 8) return kPL_AIFFFormatErr;
      err = FSReadFork(fRefNum, fsFromStart, body, 8, s, &got);
      if (err != noErr) return err;
      UInt32 offset = PL_GetBE32(s);
      if (offset > size - 8) return kPL_AIFFFormatErr;
      info->dataOffset = body + 8 + offset;
      info->dataSize = UInt64(size - 8 - offset);
      haveData = true;
    }
    at = body + size + (size & 1);
  }
  if (!haveComm || !haveData) return kPL_AIFFFormatErr;
  if (info->numChannels < 1 || info->sampleSize < 1 || info->sampleSize > 64 || !(info->sampleRate > 0))
    return kPL_AIFFFormatErr;
  UInt64 frameBytes = UInt64(info->numChannels) * UInt64((info->sampleSize + 7) / 8);
  UInt64 needed = UInt64(info->numFrames) * frameBytes;
  if (info->dataSize > needed) info->dataSize = needed;
  return noErr;
}
