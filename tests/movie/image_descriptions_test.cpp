#include "movie/image_descriptions.h"

#include "platform/core/mac_errors.h"
#include "platform/core/memory.h"
#include "platform/movie/atoms.h"
#include "platform/movie/movie_toolbox.h"
#include "support/kernel_check.h"
#include "support/movie_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

struct Desc {
  ImageDescriptionHandle h = bz_test::NewFixtureImageDescription(720, 576);
  Desc() = default;
  Desc(const Desc &) = delete;
  ~Desc() { DisposeHandle(reinterpret_cast<Handle>(h)); }
};

struct OwnedHandle {
  Handle h;
  explicit OwnedHandle(std::vector<UInt8> bytes) : h(NewHandle(Size(bytes.size()))) {
    if (!bytes.empty()) std::memcpy(*h, bytes.data(), bytes.size());
  }
  OwnedHandle(const OwnedHandle &) = delete;
  ~OwnedHandle() { DisposeHandle(h); }
};

// The extensions of one type, in order, as stored.
std::vector<std::vector<UInt8>> ExtensionsOf(ImageDescriptionHandle desc, OSType type) {
  std::vector<std::vector<UInt8>> out;
  for (SInt32 i = 1;; ++i) {
    Handle h = nullptr;
    if (GetImageDescriptionExtension(desc, &h, type, i) != noErr) break;
    out.emplace_back(reinterpret_cast<UInt8 *>(*h), reinterpret_cast<UInt8 *>(*h) + GetHandleSize(h));
    DisposeHandle(h);
  }
  return out;
}

std::string PascalText(const unsigned char *s) { return std::string(reinterpret_cast<const char *>(s + 1), s[0]); }

TEST(MovieImageDescriptions, Make2vuyDescriptionWithoutAskingACodec) {
  Desc d;
  OwnedHandle fiel({2, 9});
  ASSERT_EQ(noErr, AddImageDescriptionExtension(d.h, fiel.h, 'fiel'));
  SCSpatialSettings spatial{'2vuy', anyCodec, 24, codecNormalQuality};
  ASSERT_EQ(noErr, QT_MakeImageDescription(720, 576, &spatial, 720 * 576 * 2, d.h));
  EXPECT_EQ(codecMaxQuality, spatial.spatialQuality);
  const ImageDescription &id = **d.h;
  EXPECT_EQ(86, id.idSize);
  EXPECT_EQ(86, GetHandleSize(reinterpret_cast<Handle>(d.h)));  // the extension is gone
  EXPECT_EQ(OSType('2vuy'), id.cType);
  EXPECT_EQ(OSType('appl'), id.vendor);
  EXPECT_EQ(1, id.version);
  EXPECT_EQ(1, id.revisionLevel);
  EXPECT_EQ(1023u, id.spatialQuality);
  EXPECT_EQ(0u, id.temporalQuality);
  EXPECT_EQ(0x00480000, id.hRes);
  EXPECT_EQ(0x00480000, id.vRes);
  EXPECT_EQ(720 * 576 * 2, id.dataSize);
  EXPECT_EQ(1, id.frameCount);
  EXPECT_EQ(-1, id.clutID);
  EXPECT_EQ(24, id.depth);
  // The length byte counts the text's terminating zero.
  EXPECT_EQ(29, id.name[0]);
  EXPECT_EQ(std::string("8-bit 4:2:2 Component Y'CbCr", 29), PascalText(id.name));

  // Other codecs come from the codec list; an unknown one leaves the handle alone.
  SCSpatialSettings dv{'dvcp', anyCodec, 24, codecNormalQuality};
  ASSERT_EQ(noErr, QT_MakeImageDescription(720, 576, &dv, 144000, d.h));
  EXPECT_EQ("DV - PAL", PascalText((**d.h).name));
  EXPECT_EQ(codecNormalQuality, (**d.h).spatialQuality);
  SCSpatialSettings unknown{'zzzz', anyCodec, 24, codecNormalQuality};
  EXPECT_EQ(noCodecErr, QT_MakeImageDescription(16, 16, &unknown, 10, d.h));
  EXPECT_EQ(OSType('dvcp'), (**d.h).cType);
  EXPECT_EQ(720, (**d.h).width);
}

TEST(MovieImageDescriptions, MakeYuv2FillsWithoutResizing) {
  Desc d;
  SetHandleSize(reinterpret_cast<Handle>(d.h), 100);
  ASSERT_EQ(noErr, QT_MakeYuv2ImageDescription(d.h, 64, 48));
  EXPECT_EQ(100, GetHandleSize(reinterpret_cast<Handle>(d.h)));
  const ImageDescription &id = **d.h;
  EXPECT_EQ(86, id.idSize);
  EXPECT_EQ(OSType('yuv2'), id.cType);
  EXPECT_EQ(0, id.revisionLevel);
  EXPECT_EQ(1024u, id.spatialQuality);
  EXPECT_EQ(64 * 48 * 2, id.dataSize);
  EXPECT_EQ("Component Video", PascalText(id.name));
  // A handle too small for the fixed fields is refused rather than overrun.
  Handle small = NewHandle(40);
  EXPECT_EQ(paramErr, QT_MakeYuv2ImageDescription(reinterpret_cast<ImageDescriptionHandle>(small), 64, 48));
  DisposeHandle(small);
}

TEST(MovieImageDescriptions, SingleExtensionsAndCopies) {
  Desc d;
  OwnedHandle a({1, 1}), b({2, 2}), c({3, 3}), last({9, 9});
  for (Handle h : {a.h, b.h, c.h}) ASSERT_EQ(noErr, AddImageDescriptionExtension(d.h, h, 'fiel'));
  ASSERT_EQ(noErr, QT_AddSingleImageDescExtension(d.h, 'fiel', last.h));
  EXPECT_EQ((std::vector<std::vector<UInt8>>{{9, 9}}), ExtensionsOf(d.h, 'fiel'));

  // Without replacing, the target only receives the source's surplus extensions of a type.
  Desc src, trgt;
  OwnedHandle p1({0, 0, 0, 1, 0, 0, 0, 1}), p2({0, 0, 0, 4, 0, 0, 0, 3}), own({0, 0, 0, 16, 0, 0, 0, 15});
  OwnedHandle g({0, 2, 0x33, 0x33});
  ASSERT_EQ(noErr, AddImageDescriptionExtension(src.h, p1.h, 'pasp'));
  ASSERT_EQ(noErr, AddImageDescriptionExtension(src.h, g.h, 'gama'));
  ASSERT_EQ(noErr, AddImageDescriptionExtension(src.h, p2.h, 'pasp'));
  ASSERT_EQ(noErr, AddImageDescriptionExtension(trgt.h, own.h, 'pasp'));
  ASSERT_EQ(noErr, QT_CopyAllImageDescExts(src.h, trgt.h, false));
  EXPECT_EQ((std::vector<std::vector<UInt8>>{{0, 0, 0, 16, 0, 0, 0, 15}, {0, 0, 0, 4, 0, 0, 0, 3}}),
            ExtensionsOf(trgt.h, 'pasp'));
  EXPECT_EQ(1u, ExtensionsOf(trgt.h, 'gama').size());
  // Replacing, the target's own ones give way, in order.
  Desc trgt2;
  ASSERT_EQ(noErr, AddImageDescriptionExtension(trgt2.h, own.h, 'pasp'));
  ASSERT_EQ(noErr, QT_CopyAllImageDescExts(src.h, trgt2.h, true));
  EXPECT_EQ((std::vector<std::vector<UInt8>>{{0, 0, 0, 1, 0, 0, 0, 1}, {0, 0, 0, 4, 0, 0, 0, 3}}),
            ExtensionsOf(trgt2.h, 'pasp'));

  SInt32 types = 0;
  ASSERT_EQ(noErr, QT_CountImageDescExtTypes(src.h, &types));
  EXPECT_EQ(2, types);

  // A single copy of a type the source lacks changes nothing.
  Desc empty;
  ASSERT_EQ(noErr, QT_CopySingleImageDescExtOfType('clap', src.h, trgt2.h));
  EXPECT_TRUE(ExtensionsOf(trgt2.h, 'clap').empty());
  ASSERT_EQ(noErr, QT_CopySingleImageDescExtOfType('gama', src.h, empty.h));
  EXPECT_EQ((std::vector<std::vector<UInt8>>{{0, 2, 0x33, 0x33}}), ExtensionsOf(empty.h, 'gama'));
}

// The extensions behind the replaced one are set aside with their own sizes: a new extension smaller than
// them must not truncate them or write past a block sized for it.
TEST(MovieImageDescriptions, IndexedReplacementKeepsLargerExtensionsWhole) {
  Desc d;
  OwnedHandle one({1}), big({2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2}), bigger(std::vector<UInt8>(300, 3)), small({7});
  OwnedHandle other({5, 5});
  ASSERT_EQ(noErr, AddImageDescriptionExtension(d.h, one.h, 'fiel'));
  ASSERT_EQ(noErr, AddImageDescriptionExtension(d.h, other.h, 'gama'));
  ASSERT_EQ(noErr, AddImageDescriptionExtension(d.h, big.h, 'fiel'));
  ASSERT_EQ(noErr, AddImageDescriptionExtension(d.h, bigger.h, 'fiel'));

  ASSERT_EQ(noErr, QT_SetIndexedImageDescExtension(d.h, 'fiel', 1, small.h));
  std::vector<std::vector<UInt8>> fiel = ExtensionsOf(d.h, 'fiel');
  ASSERT_EQ(3u, fiel.size());
  EXPECT_EQ((std::vector<UInt8>{7}), fiel[0]);
  EXPECT_EQ(std::vector<UInt8>(12, 2), fiel[1]);
  EXPECT_EQ(std::vector<UInt8>(300, 3), fiel[2]);
  EXPECT_EQ((std::vector<std::vector<UInt8>>{{5, 5}}), ExtensionsOf(d.h, 'gama'));

  // One past the count appends; further out is refused and changes nothing.
  ASSERT_EQ(noErr, QT_SetIndexedImageDescExtension(d.h, 'fiel', 4, one.h));
  EXPECT_EQ(4u, ExtensionsOf(d.h, 'fiel').size());
  SInt32 before = (**d.h).idSize;
  EXPECT_EQ(codecExtensionNotFoundErr, QT_SetIndexedImageDescExtension(d.h, 'fiel', 6, one.h));
  EXPECT_EQ(codecExtensionNotFoundErr, QT_SetIndexedImageDescExtension(d.h, 'fiel', 0, one.h));
  EXPECT_EQ(before, (**d.h).idSize);
  // A failed allocation half-way leaves the description as it was.
  std::vector<UInt8> whole(reinterpret_cast<UInt8 *>(*d.h), reinterpret_cast<UInt8 *>(*d.h) + before);
  PL_FailAllocationAfter(3);
  OSStatus err = QT_SetIndexedImageDescExtension(d.h, 'fiel', 2, small.h);
  PL_FailAllocationAfter(0);
  EXPECT_EQ(memFullErr, err);
  EXPECT_EQ(whole, std::vector<UInt8>(reinterpret_cast<UInt8 *>(*d.h), reinterpret_cast<UInt8 *>(*d.h) + (**d.h).idSize));
}

TEST(MovieImageDescriptions, EqualImageDescsReportsMaskedFieldsAndExtensionDifferences) {
  Desc d1, d2, mask, diff;
  std::memset(*mask.h, 0, sizeof(ImageDescription));
  (**mask.h).idSize = 86;
  (**mask.h).width = 1;
  (**mask.h).depth = 1;
  (**mask.h).name[0] = 1;
  std::memset(*diff.h, 0, sizeof(ImageDescription));
  (**diff.h).idSize = 86;
  (**d2.h).width = 704;
  (**d2.h).height = 480;  // not in the mask
  (**d2.h).name[5] = 'x';
  OwnedHandle f1({2, 9}), f2({2, 14}), pasp({0, 0, 0, 1, 0, 0, 0, 1});
  ASSERT_EQ(noErr, AddImageDescriptionExtension(d1.h, f1.h, 'fiel'));
  ASSERT_EQ(noErr, AddImageDescriptionExtension(d2.h, f2.h, 'fiel'));
  ASSERT_EQ(noErr, AddImageDescriptionExtension(d2.h, pasp.h, 'pasp'));
  ASSERT_EQ(noErr, AddImageDescriptionExtension(d2.h, pasp.h, 'pasp'));
  ASSERT_EQ(noErr, QT_EqualImageDescs(d1.h, d2.h, mask.h, true, 0, nullptr, diff.h));
  EXPECT_EQ(704 - 720, (**diff.h).width);
  EXPECT_EQ(0, (**diff.h).height);
  EXPECT_EQ(0, (**diff.h).depth);
  EXPECT_EQ(1, (**diff.h).name[0]);
  // The differing 'fiel' and both 'pasp' that only d2 has.
  EXPECT_EQ((std::vector<std::vector<UInt8>>{{0, 0, 0, 0}}), ExtensionsOf(diff.h, 'fiel'));
  EXPECT_EQ(2u, ExtensionsOf(diff.h, 'pasp').size());

  // With a type list only those types are compared.
  Desc diff2;
  std::memset(*diff2.h, 0, sizeof(ImageDescription));
  (**diff2.h).idSize = 86;
  const OSType only[] = {'pasp'};
  ASSERT_EQ(noErr, QT_EqualImageDescs(d1.h, d2.h, mask.h, true, 1, only, diff2.h));
  EXPECT_TRUE(ExtensionsOf(diff2.h, 'fiel').empty());
  EXPECT_EQ(2u, ExtensionsOf(diff2.h, 'pasp').size());
}

TEST(MovieImageDescriptions, GammaLevelAndMacGamma) {
  Desc d;
  Fixed gamma = -1;
  Boolean has = true;
  ASSERT_EQ(noErr, QT_GetImageDescGammaLevel(d.h, &gamma, &has));
  EXPECT_EQ(0, gamma);
  EXPECT_FALSE(has);
  ASSERT_EQ(noErr, QT_SetImageDescGammaLevel(d.h, X2Fix(2.2)));
  ASSERT_EQ(noErr, QT_GetImageDescGammaLevel(d.h, &gamma, &has));
  EXPECT_EQ(X2Fix(2.2), gamma);
  EXPECT_TRUE(has);
  const struct {
    float gamma;
    bool mac;
  } cases[] = {{0.0f, true}, {1.8f, true}, {1.7995f, true}, {1.799f, false}, {1.801f, false}, {2.2f, false}};
  for (const auto &c : cases) EXPECT_EQ(c.mac, bool(QT_GammaEqualsMacGamma(c.gamma))) << c.gamma;
}

TEST(MovieImageDescriptions, FieldDetailsAndInterlace) {
  const struct {
    OSType cType;
    bool topFirst;
    UInt8 detail;
  } details[] = {{'mjpa', true, 1}, {'mjpb', false, 6}, {'2vuy', true, 9}, {'dvcp', false, 14}};
  for (const auto &c : details) {
    QT_FielExt fiel{2, 0};
    QT_SetFieldDetail(c.cType, c.topFirst, &fiel);
    EXPECT_EQ(c.detail, fiel.detail);
    EXPECT_EQ(2, fiel.fields);
  }
  const struct {
    QT_FielExt fiel;
    bool interlaced, topFirst;
  } reads[] = {{{2, 1}, true, true}, {{2, 9}, true, true}, {{2, 6}, true, false}, {{2, 14}, true, false}};
  for (const auto &c : reads) {
    Boolean interlaced = false, top = false;
    QT_GetInterlaceFromFiel(&c.fiel, &interlaced, &top);
    EXPECT_EQ(c.interlaced, bool(interlaced));
    EXPECT_EQ(c.topFirst, bool(top));
  }
  // Progressive: the field order is left alone.
  Boolean interlaced = true, top = 7;
  QT_FielExt progressive{1, 0};
  QT_GetInterlaceFromFiel(&progressive, &interlaced, &top);
  EXPECT_FALSE(interlaced);
  EXPECT_EQ(7, top);

  Desc d;
  QT_FielExt got{};
  EXPECT_EQ(codecExtensionNotFoundErr, QT_GetFieldInfo(d.h, &got));
  QT_FielExt fiel{2, 14};
  ASSERT_EQ(noErr, QT_AddFielExtension(d.h, &fiel));
  ASSERT_EQ(noErr, QT_AddFielExtension(d.h, &fiel));
  ASSERT_EQ(noErr, QT_GetFieldInfo(d.h, &got));
  EXPECT_EQ(14, got.detail);
  EXPECT_EQ(1u, ExtensionsOf(d.h, 'fiel').size());
}

TEST(MovieImageDescriptions, NclcTransferFunctionTellsGamma22) {
  const struct {
    std::vector<UInt8> colr;
    bool gamma22;
  } cases[] = {
      {{'n', 'c', 'l', 'c', 0, 1, 0, 1, 0, 1}, true},
      {{'n', 'c', 'l', 'c', 0, 1, 0, 2, 0, 1}, false},
      {{'p', 'r', 'o', 'f', 0, 1, 0, 1, 0, 1}, false},
  };
  for (const auto &c : cases) {
    Desc d;
    OwnedHandle colr(c.colr);
    ASSERT_EQ(noErr, AddImageDescriptionExtension(d.h, colr.h, 'colr'));
    Boolean has = !c.gamma22;
    ASSERT_EQ(noErr, QT_HasGamm22inNclc(d.h, &has));
    EXPECT_EQ(c.gamma22, bool(has));
  }
  Boolean has = true;
  EXPECT_EQ(noErr, QT_HasGamm22inNclc(nullptr, &has));
  EXPECT_FALSE(has);
  Desc none;
  has = true;
  EXPECT_EQ(noErr, QT_HasGamm22inNclc(none.h, &has));
  EXPECT_FALSE(has);
}

TEST(MovieImageDescriptions, FlipsSwapEveryField) {
  QT_PaspExt pasp{0x01020304, 0x0A0B0C0D};
  QT_FlipPasp(&pasp);
  EXPECT_EQ(0x04030201u, pasp.hSpacing);
  EXPECT_EQ(0x0D0C0B0Au, pasp.vSpacing);
  QT_ClapExt clap{1, 2, 3, 4, -1, 6, 7, 8};
  QT_FlipClap(&clap);
  EXPECT_EQ(0x01000000u, clap.cleanApertureWidthN);
  EXPECT_EQ(-1, clap.horizOffN);
  EXPECT_EQ(0x08000000u, clap.vertOffD);
  QT_NclcExt nclc{'nclc', 1, 2, 6};
  QT_FlipNclc(&nclc);
  EXPECT_EQ(OSType('clcn'), nclc.colorParamType);
  EXPECT_EQ(0x0100, nclc.primaries);
  EXPECT_EQ(0x0600, nclc.matrix);
}

::testing::AssertionResult RectIs(const Rect &r, SInt16 top, SInt16 left, SInt16 bottom, SInt16 right) {
  if (r.top == top && r.left == left && r.bottom == bottom && r.right == right) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got {" << r.top << ", " << r.left << ", " << r.bottom << ", " << r.right
                                       << "}, expected {" << top << ", " << left << ", " << bottom << ", " << right
                                       << "}";
}

TEST(MovieImageDescriptions, ScaledClipRoundsItsEdgesAsSpecified) {
  const QT_ClapExt clap704{704, 1, 576, 1, 0, 1, 0, 1};
  // One pixel more than the frame each way puts the left and top edges at -0.5.
  const QT_ClapExt halfOut{721, 1, 577, 1, 0, 1, 0, 1};
  const QT_ClapExt zeroDenominator{704, 0, 576, 1, 0, 1, 0, 1};
  const QT_PaspExt pasp{16, 15};
  const struct {
    const char *what;
    const QT_PaspExt *pasp;
    const QT_ClapExt *clap;
    bool horizontal;
    Rect expected;
    FixedRect expectedF;
  } cases[] = {
      {"neither", nullptr, nullptr, true, {0, 0, 576, 720}, {0, 0, Long2Fix(720), Long2Fix(576)}},
      {"clap 704", nullptr, &clap704, true, {0, 8, 576, 712}, {Long2Fix(8), 0, Long2Fix(712), Long2Fix(576)}},
      {"half a pixel out", nullptr, &halfOut, true, {0, -1, 577, 721}, {-0x8000, -0x8000, X2Fix(720.5), X2Fix(576.5)}},
      {"zero denominator", nullptr, &zeroDenominator, true, {0, 0, 576, 720}, {0, 0, Long2Fix(720), Long2Fix(576)}},
      {"pasp horizontal", &pasp, &clap704, true, {0, 9, 576, 759}, {X2Fix(8 * 16 / 15.0), 0, X2Fix(712 * 16 / 15.0), Long2Fix(576)}},
      {"pasp vertical", &pasp, nullptr, false, {0, 0, 540, 720}, {0, 0, Long2Fix(720), Long2Fix(540)}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    Rect r;
    FixedRect f;
    QT_GetScaledClip(Long2Fix(720), Long2Fix(576), c.pasp, c.clap, &r, &f, c.horizontal);
    EXPECT_TRUE(RectIs(r, c.expected.top, c.expected.left, c.expected.bottom, c.expected.right));
    EXPECT_EQ(c.expectedF.left, f.left);
    EXPECT_EQ(c.expectedF.top, f.top);
    EXPECT_EQ(c.expectedF.right, f.right);
    EXPECT_EQ(c.expectedF.bottom, f.bottom);
  }
}

TEST(MovieImageDescriptions, ClipToClapReducesAndGivesTheClipBack) {
  const FixedRect raw{0, 0, Long2Fix(720), Long2Fix(576)};
  QT_ClapExt clap;
  QT_FixedClipToClap(&raw, &raw, &clap);
  const QT_ClapExt whole{720, 1, 576, 1, 0, 1, 0, 1};
  EXPECT_EQ(0, std::memcmp(&whole, &clap, sizeof(clap)));

  // An uneven crop: 10 off the left, 20 off the right, 3 off the top, 4 off the bottom (raw not at origin).
  const FixedRect raw2{Long2Fix(100), Long2Fix(50), Long2Fix(820), Long2Fix(626)};
  const FixedRect clip{Long2Fix(110), Long2Fix(53), Long2Fix(800), Long2Fix(622)};
  QT_FixedClipToClap(&raw2, &clip, &clap);
  const QT_ClapExt cropped{690, 1, 569, 1, -5, 1, -1, 2};
  EXPECT_EQ(0, std::memcmp(&cropped, &clap, sizeof(clap)));
  Rect back;
  QT_GetScaledClip(Long2Fix(720), Long2Fix(576), nullptr, &clap, &back, nullptr, true);
  EXPECT_TRUE(RectIs(back, 3, 10, 572, 700));
  EXPECT_TRUE(QT_ClapHasEffect(&clap, 576, 720));
  EXPECT_FALSE(QT_ClapHasEffect(&whole, 576, 720));

  // Reduction: zero pairs stay, signs stay on numerators.
  QT_PaspExt pasp{0, 0}, pasp2{40, 30};
  QT_ClapExt odd{0, 0, 1000, 10, -6, 4, 0, 0};
  QT_ReducePaspAndClap(&pasp, &odd);
  QT_ReducePaspAndClap(&pasp2, nullptr);
  EXPECT_EQ(0u, pasp.hSpacing);
  EXPECT_EQ(0u, pasp.vSpacing);
  EXPECT_EQ(4u, pasp2.hSpacing);
  EXPECT_EQ(3u, pasp2.vSpacing);
  const QT_ClapExt oddReduced{0, 0, 100, 1, -3, 2, 0, 0};
  EXPECT_EQ(0, std::memcmp(&oddReduced, &odd, sizeof(odd)));
}

TEST(MovieImageDescriptions, ApertureRectsAndEqualities) {
  const Rect rect{10, 20, 586, 740};
  const QT_PaspExt pasp{12, 11};
  const QT_ClapExt clap{704, 1, 576, 1, 0, 1, 0, 1};
  FixedRect clean, prod, clipped;
  QT_CalcFixedApertureRects(&rect, &pasp, &clap, &clean, &prod, &clipped);
  EXPECT_EQ(X2Fix(8 * 12 / 11.0), clean.left);
  EXPECT_EQ(X2Fix(720 * 12 / 11.0), prod.right);
  EXPECT_EQ(Long2Fix(28), clipped.left);
  EXPECT_EQ(Long2Fix(10), clipped.top);
  EXPECT_EQ(Long2Fix(732), clipped.right);

  const QT_PaspExt a{40, 33}, b{80, 66}, c{10, 11}, d{11, 12};
  EXPECT_TRUE(QT_EqualPasp(&a, &b));
  EXPECT_FALSE(QT_EqualPasp(&c, &d));
  EXPECT_TRUE(QT_EqualPasp2(10, &c, &d));    // 9.09 and 9.17 both give 9
  EXPECT_FALSE(QT_EqualPasp2(720, &c, &d));  // 655 and 660
  const QT_ClapExt c1{1408, 2, 576, 1, 0, 1, 0, 1}, c2{704, 1, 1152, 2, 0, 5, 0, 1};
  EXPECT_TRUE(QT_EqualClap(&c1, &c2));

  QT_PaspExt squeezed;
  const Rect oldRect{0, 0, 576, 720}, newRect{0, 0, 540, 720};
  EXPECT_TRUE(QT_TransformPasp(&a, &oldRect, &newRect, &squeezed));
  // 40/33 x (720/576) / (720/540) = 40/33 x 15/16 = 25/22
  EXPECT_EQ(25u, squeezed.hSpacing);
  EXPECT_EQ(22u, squeezed.vSpacing);

  GL_LongRatio w, h, x, y;
  const QT_ClapExt offsetClap{1409, 2, 576, 1, -5, 2, 3, 1};
  EXPECT_TRUE(QT_ClapExtToLongRatio(&offsetClap, &w, &h, &x, &y));
  EXPECT_EQ(1409, w.n);
  EXPECT_EQ(2u, w.d);
  EXPECT_EQ(-5, x.n);
  EXPECT_EQ(3, y.n);
}

TEST(MovieImageDescriptions, OverflowCheckScalesDownTheLargerFactor) {
  Desc d;
  QT_PaspExt pasp{1000000, 999999};
  QT_ClapExt clap{704 * 65536, 65536, 576, 1, 0, 1, 0, 1};
  ASSERT_EQ(noErr, QT_SetPaspInImageDesc(d.h, &pasp));
  ASSERT_EQ(noErr, QT_SetClapInImageDesc(d.h, &clap));
  ASSERT_EQ(noErr, QT_CheckPaspAndClapForOverflow(d.h));
  QT_PaspExt p2;
  QT_ClapExt c2;
  ASSERT_EQ(noErr, ICMImageDescriptionGetProperty(d.h, kQTPropertyClass_ImageDescription,
                                                  kICMImageDescriptionPropertyID_PixelAspectRatio, 8, &p2, nullptr));
  ASSERT_EQ(noErr, ICMImageDescriptionGetProperty(d.h, kQTPropertyClass_ImageDescription,
                                                  kICMImageDescriptionPropertyID_CleanAperture, 32, &c2, nullptr));
  EXPECT_LT(UInt64(c2.cleanApertureWidthN) * p2.hSpacing, UInt64(1) << 31);
  // Both ratios keep their values closely; the other clap fields stay.
  EXPECT_NEAR(1000000.0 / 999999.0, double(p2.hSpacing) / p2.vSpacing, 1e-4);
  EXPECT_NEAR(704.0, double(c2.cleanApertureWidthN) / c2.cleanApertureWidthD, 0.5);
  EXPECT_EQ(576u, c2.cleanApertureHeightN);

  // Small enough, or without both extensions: nothing changes.
  Desc small;
  QT_PaspExt p3{10, 11};
  ASSERT_EQ(noErr, QT_SetPaspInImageDesc(small.h, &p3));
  SInt32 before = (**small.h).idSize;
  ASSERT_EQ(noErr, QT_CheckPaspAndClapForOverflow(small.h));
  EXPECT_EQ(before, (**small.h).idSize);
}

// Descriptions with extensions written into a movie by our writer and read back by us and by ffprobe.
class WrittenDescriptions : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("described.mov");
    bz_test::FixtureMovieSpec spec;
    spec.withSound = false;
    bz_test::FixtureMovieInfo info;
    ASSERT_EQ(noErr, bz_test::WriteFixtureMovie(path_, spec, &info));
  }

  // Adds the extensions to the video description and stores the movie again.
  void Rewrite(const QT_FielExt *fiel, const QT_PaspExt *pasp, const QT_ClapExt *clap, const QT_NclcExt *nclc) {
    Handle dataRef = nullptr;
    OSType type = 0;
    ASSERT_EQ(noErr, PL_NewDataReferenceFromPath(path_.c_str(), &dataRef, &type));
    Movie movie = nullptr;
    ASSERT_EQ(noErr, NewMovieFromDataRef(&movie, 0, nullptr, dataRef, type));
    Media media = GetTrackMedia(GetMovieIndTrack(movie, 1));
    Handle desc = NewHandle(0);
    GetMediaSampleDescription(media, 1, reinterpret_cast<SampleDescriptionHandle>(desc));
    auto id = reinterpret_cast<ImageDescriptionHandle>(desc);
    if (fiel) {
      ASSERT_EQ(noErr, QT_AddFielExtension(id, fiel));
    }
    if (pasp) {
      ASSERT_EQ(noErr, QT_SetPaspInImageDesc(id, pasp));
    }
    if (clap) {
      ASSERT_EQ(noErr, QT_SetClapInImageDesc(id, clap));
    }
    if (nclc) {
      ASSERT_EQ(noErr, QT_SetNclcInImageDesc(id, nclc));
    }
    ASSERT_EQ(noErr, QT_SetImageDescGammaLevel(id, X2Fix(2.2)));
    ASSERT_EQ(noErr, SetMediaSampleDescription(media, 1, reinterpret_cast<SampleDescriptionHandle>(desc)));
    DataHandler dh = nullptr;
    ASSERT_EQ(noErr, OpenMovieStorage(dataRef, type, kDataHCanRead | kDataHCanWrite, &dh));
    ASSERT_EQ(noErr, UpdateMovieInStorage(movie, dh));
    ASSERT_EQ(noErr, CloseMovieStorage(dh));
    DisposeHandle(desc);
    DisposeMovie(movie);
    DisposeHandle(dataRef);
  }

  bz_test::TempDir dir_;
  std::string path_;
};

TEST_F(WrittenDescriptions, ReadBackThroughTheMedia) {
  const QT_FielExt fiel{2, 14};
  const QT_PaspExt pasp{40, 33};
  const QT_ClapExt clap{44, 1, 30, 1, -1, 1, 0, 1};
  const QT_NclcExt nclc{'nclc', 1, 1, 1};
  Rewrite(&fiel, &pasp, &clap, &nclc);
  Movie movie = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(path_, &movie));
  Media media = GetTrackMedia(GetMovieIndTrack(movie, 1));
  Boolean has = false, interlaced = false, top = true, isNclc = false;
  ASSERT_EQ(noErr, QT_GetFielData(media, &has, &interlaced, &top));
  EXPECT_TRUE(has);
  EXPECT_TRUE(interlaced);
  EXPECT_FALSE(top);
  QT_PaspExt p{};
  ASSERT_EQ(noErr, QT_GetPaspData(media, &has, &p));
  EXPECT_TRUE(has);
  EXPECT_EQ(40u, p.hSpacing);
  QT_ClapExt c{};
  ASSERT_EQ(noErr, QT_GetClapData(media, &has, &c));
  EXPECT_EQ(0, std::memcmp(&clap, &c, sizeof(c)));
  QT_NclcExt n{};
  ASSERT_EQ(noErr, QT_GetColrData(media, &has, &isNclc, &n));
  EXPECT_TRUE(has && isNclc);
  EXPECT_EQ(1, n.transferFunction);
  DisposeMovie(movie);
}

TEST_F(WrittenDescriptions, AbsentExtensionsReadAsAbsent) {
  Movie movie = nullptr;
  ASSERT_EQ(noErr, bz_test::OpenMovieAtPath(path_, &movie));
  Media media = GetTrackMedia(GetMovieIndTrack(movie, 1));
  Boolean has = true, interlaced = 5, top = 5, isNclc = true;
  ASSERT_EQ(noErr, QT_GetFielData(media, &has, &interlaced, &top));
  EXPECT_FALSE(has);
  EXPECT_EQ(5, interlaced);
  has = true;
  QT_PaspExt p{7, 7};
  ASSERT_EQ(noErr, QT_GetPaspData(media, &has, &p));
  EXPECT_FALSE(has);
  QT_NclcExt n{'xxxx', 9, 9, 9};
  ASSERT_EQ(noErr, QT_GetColrData(media, &has, &isNclc, &n));
  EXPECT_FALSE(has);
  EXPECT_FALSE(isNclc);
  EXPECT_EQ(0u, n.colorParamType);
  // A media without descriptions passes the toolbox error on.
  EXPECT_EQ(invalidMedia, QT_GetPaspData(nullptr, &has, &p));
  DisposeMovie(movie);
}

TEST_F(WrittenDescriptions, FfprobeReadsFieldOrderAspectAndColour) {
  if (!bz_test::RequireFfmpeg()) return;
  const struct {
    QT_FielExt fiel;
    const char *fieldOrder;
  } orders[] = {{{2, 9}, "tb"}, {{2, 14}, "bt"}, {{2, 1}, "tt"}, {{1, 0}, "progressive"}};
  for (const auto &o : orders) {
    SCOPED_TRACE(o.fieldOrder);
    SetUp();
    const QT_PaspExt pasp{40, 33};
    const QT_NclcExt nclc{'nclc', 1, 1, 6};
    Rewrite(&o.fiel, &pasp, nullptr, &nclc);
    std::map<std::string, std::string> probe = bz_test::ProbeStream(path_, "v:0");
    EXPECT_EQ(o.fieldOrder, probe["field_order"]);
    EXPECT_EQ("40:33", probe["sample_aspect_ratio"]);
    EXPECT_EQ("bt709", probe["color_primaries"]);
    EXPECT_EQ("bt709", probe["color_transfer"]);
    EXPECT_EQ("smpte170m", probe["color_space"]);
    EXPECT_EQ("6", probe["nb_read_frames"]);
  }
}

}  // namespace

#include "general/strings_text.h"
#include "platform/core/cf_string.h"

namespace {

TEST(MovieImageDescriptions, PaspFieldsInText) {
  Ptr text = nullptr;
  ASSERT_EQ(noErr, GL_NewTextBuffer(&text));
  SInt32 size = 0;
  const QT_PaspExt pasp{40, 33};
  GL_AddPaspFieldDescrToTextPtr(text, &size, CFSTR("Pixel aspect\n"), &pasp);
  EXPECT_EQ("Pixel aspect\nHorizontal Spacing: 40\nVertical Spacing: 33\n", std::string(text, size_t(size)));
  GL_DisposeTextBuffer(&text);
}

}  // namespace
