#include "support/color_frames.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace bz_test {

namespace {

size_t FrameBytes(int32_t rowBytes, int32_t height, int32_t extraRows) {
  int32_t rows = height + extraRows;
  return rows > 0 && rowBytes > 0 ? size_t(rowBytes) * size_t(rows) : 0;
}

int32_t PictureBytesFor(int32_t width, int32_t pictureBytes) {
  if (pictureBytes > 0) return pictureBytes;
  return width > 0 ? width * 2 : 0;
}

const char *ChannelName(Channel c) {
  switch (c) {
    case Channel::kCb: return "Cb";
    case Channel::kCr: return "Cr";
    case Channel::kLuma: return "Y";
  }
  return "?";
}

}  // namespace

GuardedFrame::GuardedFrame(int32_t width, int32_t height, int32_t rowBytes, size_t offset, int32_t pictureBytes,
                           int32_t extraRows)
    : width_(width),
      height_(height),
      rowBytes_(rowBytes > 0 ? rowBytes : PictureBytesFor(width, pictureBytes)),
      pictureBytes_(PictureBytesFor(width, pictureBytes)),
      extraRows_(extraRows),
      offset_(offset),
      buffer_(FrameBytes(rowBytes_, height, extraRows), offset) {
  MarkPadding();
}

GuardedFrame::GuardedFrame(const GuardedFrame &other)
    : width_(other.width_),
      height_(other.height_),
      rowBytes_(other.rowBytes_),
      pictureBytes_(other.pictureBytes_),
      extraRows_(other.extraRows_),
      offset_(other.offset_),
      buffer_(other.buffer_.size(), other.offset_) {
  if (buffer_.size()) std::memcpy(buffer_.data(), other.buffer_.data(), buffer_.size());
}

GuardedFrame &GuardedFrame::operator=(const GuardedFrame &other) {
  if (this != &other) {
    GuardedFrame copy(other);
    width_ = copy.width_;
    height_ = copy.height_;
    rowBytes_ = copy.rowBytes_;
    pictureBytes_ = copy.pictureBytes_;
    extraRows_ = copy.extraRows_;
    offset_ = copy.offset_;
    buffer_ = std::move(copy.buffer_);
  }
  return *this;
}

void GuardedFrame::MarkPadding() {
  for (int32_t y = 0; y < height_ + extraRows_; ++y) {
    int32_t from = y < height_ ? pictureBytes_ : 0;
    if (rowBytes_ > from) std::memset(Row(y) + from, GuardedBuffer::kSentinel, size_t(rowBytes_ - from));
  }
}

::testing::AssertionResult GuardedFrame::CheckGuards() const {
  if (auto guards = buffer_.CheckGuards(); !guards) return guards;
  for (int32_t y = 0; y < height_ + extraRows_; ++y) {
    int32_t from = y < height_ ? pictureBytes_ : 0;
    for (int32_t x = from; x < rowBytes_; ++x) {
      if (Row(y)[x] != GuardedBuffer::kSentinel)
        return ::testing::AssertionFailure() << "write into the padding of row " << y << " at byte " << x
                                             << (y >= height_ ? " (below the frame)" : "");
    }
  }
  return ::testing::AssertionSuccess();
}

void Fill2vuyRandom(GuardedFrame &frame, std::mt19937 &rng) {
  for (int32_t y = 0; y < frame.height(); ++y) FillRandomBytes(frame.Row(y), size_t(frame.pictureBytes()), rng);
}

void Fill2vuyRandom(GuardedFrame &frame, uint8_t lumaLo, uint8_t lumaHi, uint8_t chromaLo, uint8_t chromaHi,
                    std::mt19937 &rng) {
  std::uniform_int_distribution<int> luma(lumaLo, lumaHi), chroma(chromaLo, chromaHi);
  for (int32_t y = 0; y < frame.height(); ++y) {
    uint8_t *row = frame.Row(y);
    for (int32_t i = 0; i + 1 < frame.pictureBytes(); i += 2) {
      row[i] = uint8_t(chroma(rng));
      row[i + 1] = uint8_t(luma(rng));
    }
  }
}

const std::vector<uint8_t> &EdgeByteValues() {
  static const std::vector<uint8_t> values = {0,   1,   15,  16,  17,  127, 128, 129,
                                              234, 235, 236, 239, 240, 241, 254, 255};
  return values;
}

void Fill2vuyEdgeValues(GuardedFrame &frame) {
  const auto &v = EdgeByteValues();
  const size_t n = v.size();
  size_t k = 0;
  for (int32_t y = 0; y < frame.height(); ++y) {
    uint8_t *row = frame.Row(y);
    for (int32_t i = 0; i + 1 < frame.pictureBytes(); i += 2, ++k) {
      // The luma index advances by one more after every n pixels, so within n x n pixels every luma meets
      // every chroma.
      row[i] = v[k % n];
      row[i + 1] = v[(k / n + k) % n];
    }
  }
}

void Fill2vuyConstant(GuardedFrame &frame, uint8_t cb, uint8_t y, uint8_t cr) {
  for (int32_t r = 0; r < frame.height(); ++r) {
    uint8_t *row = frame.Row(r);
    for (int32_t i = 0; i + 1 < frame.pictureBytes(); i += 2) {
      row[i] = ((i / 2) & 1) ? cr : cb;
      row[i + 1] = y;
    }
  }
}

GuardedFloats::GuardedFloats(size_t count) : count_(count), buffer_(count * sizeof(float)) {}

ByteAllowance ExactBytes() {
  return [](Channel, int e, int a) { return e == a; };
}

ByteAllowance WithinBytes(int n) {
  return [n](Channel, int e, int a) { return std::abs(e - a) <= n; };
}

ByteAllowance WithinBytes(int lumaTolerance, int chromaTolerance) {
  return [=](Channel c, int e, int a) {
    return std::abs(e - a) <= (c == Channel::kLuma ? lumaTolerance : chromaTolerance);
  };
}

namespace {

struct Mismatches {
  size_t count = 0;
  int largest = 0;
  int32_t firstX = 0, firstY = 0;
  Channel firstChannel = Channel::kLuma;
  int firstExpected = 0, firstActual = 0;

  void Check(const uint8_t *e, const uint8_t *a, int32_t width, int32_t y, const ByteAllowance &allowed) {
    for (int32_t x = 0; x < width; ++x) {
      Channel chroma = (x & 1) ? Channel::kCr : Channel::kCb;
      for (int k = 0; k < 2; ++k) {
        Channel c = k == 0 ? chroma : Channel::kLuma;
        int ev = e[2 * x + k], av = a[2 * x + k];
        int d = std::abs(ev - av);
        if (d > largest) largest = d;
        if (!allowed(c, ev, av)) {
          if (count == 0) {
            firstX = x;
            firstY = y;
            firstChannel = c;
            firstExpected = ev;
            firstActual = av;
          }
          ++count;
        }
      }
    }
  }

  ::testing::AssertionResult Result() const {
    if (count == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << count << " bytes differ beyond the allowance; first at pixel " << firstX
                                         << ", row " << firstY << ", " << ChannelName(firstChannel) << ": expected "
                                         << firstExpected << ", got " << firstActual << "; largest difference "
                                         << largest;
  }
};

}  // namespace

::testing::AssertionResult Frames2vuyAgree(const GuardedFrame &expected, const GuardedFrame &actual,
                                           const ByteAllowance &allowed, int32_t rows, int32_t width) {
  if (rows < 0) rows = expected.height();
  if (width < 0) width = expected.width();
  if (rows > actual.height() || rows > expected.height() || width * 2 > expected.rowBytes() ||
      width * 2 > actual.rowBytes())
    return ::testing::AssertionFailure() << "frames too small for the comparison";
  Mismatches m;
  for (int32_t y = 0; y < rows; ++y) m.Check(expected.Row(y), actual.Row(y), width, y, allowed);
  return m.Result();
}

::testing::AssertionResult Lines2vuyAgree(const uint8_t *expected, const uint8_t *actual, int32_t width,
                                          const ByteAllowance &allowed) {
  Mismatches m;
  m.Check(expected, actual, width, 0, allowed);
  return m.Result();
}

}  // namespace bz_test
