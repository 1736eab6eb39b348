// Dust and scratches drawn into unpadded '2vuy' frames with a fixed seed, the pixels they cover kept, for
// the outlier stage's quality test and benchmarks. Header only, standard library only.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace bz_test {

struct Defect {
  int frame;
  bool scratch;
  int contrast;             // levels of luma at full coverage
  std::vector<int> pixels;  // picture indexes (y x width + x) with any coverage
  std::vector<float> coverage;
  int SolidPixels() const {
    return int(std::count_if(coverage.begin(), coverage.end(), [](float c) { return c >= 0.5f; }));
  }
};

// About 60 % of the frames get 1 to 6 defects: 70 % soft-edged discs of radius 0.8 to 6 pixels, 30 % straight
// scratches 20 to 120 pixels long and 1 to 3 wide at any angle; each 25 to 160 levels of luma darker or
// brighter at full coverage, with a one-pixel soft edge. Luma only.
inline std::vector<Defect> DrawDamage(std::vector<std::vector<uint8_t>> *frames, int width, int height,
                                      unsigned seed) {
  std::mt19937 random(seed);
  auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(random); };
  std::vector<Defect> defects;
  for (int f = 0; f < int(frames->size()); ++f) {
    if (uniform(0, 1) >= 0.6) continue;
    const int count = 1 + int(uniform(0, 6));
    for (int i = 0; i < count; ++i) {
      Defect d{};
      d.frame = f;
      d.scratch = uniform(0, 1) >= 0.7;
      d.contrast = 25 + int(uniform(0, 136));
      const int sign = uniform(0, 1) < 0.5 ? -1 : 1;
      const double cx = uniform(20, width - 20), cy = uniform(20, height - 20);
      const double radius = uniform(0.8, 6), length = uniform(20, 120), thickness = 1 + int(uniform(0, 3));
      const double angle = uniform(0, M_PI), ux = std::cos(angle), uy = std::sin(angle);
      const int reach = d.scratch ? int(length / 2) + 3 : int(radius) + 2;
      for (int y = std::max(0, int(cy) - reach); y <= std::min(height - 1, int(cy) + reach); ++y)
        for (int x = std::max(0, int(cx) - reach); x <= std::min(width - 1, int(cx) + reach); ++x) {
          const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
          double c;
          if (d.scratch) {
            const double along = std::abs(dx * ux + dy * uy), across = std::abs(-dx * uy + dy * ux);
            c = std::clamp(thickness / 2 + 0.5 - across, 0.0, 1.0) * std::clamp(length / 2 + 0.5 - along, 0.0, 1.0);
          } else {
            c = std::clamp(radius + 0.5 - std::hypot(dx, dy), 0.0, 1.0);
          }
          if (c <= 0) continue;
          const int p = y * width + x;
          d.pixels.push_back(p);
          d.coverage.push_back(float(c));
          uint8_t &l = (*frames)[size_t(f)][size_t(2 * p + 1)];
          l = uint8_t(std::clamp(int(std::lround(l + sign * d.contrast * c)), 0, 255));
        }
      defects.push_back(std::move(d));
    }
  }
  return defects;
}

}  // namespace bz_test
