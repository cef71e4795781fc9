#include "runtime3d/core/FrameDamage.h"

#include <algorithm>
#include <cmath>

namespace rt3d {

namespace {

// The clip coordinate sum_j k_j * clip_j as a function of an absolute point: normal . p + d.
struct TLinear {
  double N[3] = {0, 0, 0};
  double D = 0;

  double At(const TPoint3D& p) const { return N[0] * p.X + N[1] * p.Y + N[2] * p.Z + D; }
  double Length() const { return std::sqrt(N[0] * N[0] + N[1] * N[1] + N[2] * N[2]); }
};

TLinear Clip(const TMatrix3D& m, const double k[4]) {
  TLinear f;
  for (int j = 0; j < 4; ++j) {
    for (int i = 0; i < 3; ++i) f.N[i] += k[j] * m[i][j];
    f.D += k[j] * m[3][j];
  }
  return f;
}

TLinear Column(const TMatrix3D& m, int j) {
  double k[4] = {0, 0, 0, 0};
  k[j] = 1;
  return Clip(m, k);
}

double DotN(const TLinear& a, const TLinear& b) {
  return a.N[0] * b.N[0] + a.N[1] * b.N[1] + a.N[2] * b.N[2];
}

// The range of clip_axis / clip_w over a sphere wholly in front of the eye: the two planes
// clip_axis = t * clip_w tangent to it. With u, v the sphere centre's clip_axis and clip_w,
// tangency is (u - t v)^2 = r^2 |A - t B|^2, a quadratic in t.
void Extent(const TLinear& axis, const TLinear& w, const TPoint3D& centre, double radius,
            double& low, double& high) {
  const double u = axis.At(centre), v = w.At(centre), r2 = radius * radius;
  const double a = v * v - r2 * DotN(w, w);
  const double b = u * v - r2 * DotN(axis, w);
  const double c = u * u - r2 * DotN(axis, axis);
  const double root = std::sqrt(std::max(0.0, b * b - a * c));
  low = (b - root) / a;
  high = (b + root) / a;
}

}  // namespace

TPixelRect SphereOnView(const TPoint3D& centre, float radius, const TMatrix3D& viewProjection,
                        int width, int height, int margin) {
  const TPixelRect whole{0, 0, std::max(width, 0), std::max(height, 0)};
  if (whole.Empty()) return {};
  const double r = std::max(0.0f, radius);
  if (!std::isfinite(r) || !std::isfinite(centre.X) || !std::isfinite(centre.Y) ||
      !std::isfinite(centre.Z)) {
    return whole;
  }
  // Left, right, bottom, top, near, far: a sphere wholly beyond one of them draws nothing.
  static const double kPlanes[6][4] = {{1, 0, 0, 1},  {-1, 0, 0, 1}, {0, 1, 0, 1},
                                       {0, -1, 0, 1}, {0, 0, 1, 0},  {0, 0, -1, 1}};
  for (const auto& k : kPlanes) {
    const TLinear plane = Clip(viewProjection, k);
    const double length = plane.Length();
    if (length > 0 && plane.At(centre) < -r * length) return {};
  }
  const TLinear w = Column(viewProjection, 3);
  // Reaching behind the eye (or to it): no bounded outline.
  if (!(w.At(centre) > r * w.Length())) return whole;
  double left, right, bottom, top;
  Extent(Column(viewProjection, 0), w, centre, r, left, right);
  Extent(Column(viewProjection, 1), w, centre, r, bottom, top);
  if (!std::isfinite(left + right + bottom + top)) return whole;
  auto pixel = [](double ndc, int size, bool down) {
    const double at = (down ? 1 - ndc : ndc + 1) / 2 * size;
    return std::clamp(at, -1.0, size + 1.0);
  };
  TPixelRect rect;
  rect.Left = std::max(0, int(std::floor(pixel(left, width, false))) - margin);
  rect.Right = std::min(width, int(std::ceil(pixel(right, width, false))) + margin);
  rect.Top = std::max(0, int(std::floor(pixel(top, height, true))) - margin);
  rect.Bottom = std::min(height, int(std::ceil(pixel(bottom, height, true))) + margin);
  return rect.Empty() ? TPixelRect{} : rect;
}

std::vector<TPixelRect> JoinRects(std::vector<TPixelRect> rects) {
  std::erase_if(rects, [](const TPixelRect& r) { return r.Empty(); });
  // Bands between consecutive top and bottom edges; in each, the runs of columns that some
  // rectangle covers. A band whose runs are those of the band above extends its rectangles.
  std::vector<int> edges;
  for (const TPixelRect& r : rects) {
    edges.push_back(r.Top);
    edges.push_back(r.Bottom);
  }
  std::sort(edges.begin(), edges.end());
  edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
  std::vector<TPixelRect> joined;
  std::vector<std::pair<int, int>> above;
  std::size_t aboveFirst = 0;  // where the band above's rectangles start in joined
  for (std::size_t e = 0; e + 1 < edges.size(); ++e) {
    const int top = edges[e], bottom = edges[e + 1];
    std::vector<std::pair<int, int>> runs;
    for (const TPixelRect& r : rects) {
      if (r.Top <= top && r.Bottom >= bottom) runs.emplace_back(r.Left, r.Right);
    }
    std::sort(runs.begin(), runs.end());
    std::vector<std::pair<int, int>> merged;
    for (const auto& run : runs) {
      if (!merged.empty() && run.first <= merged.back().second) {
        merged.back().second = std::max(merged.back().second, run.second);
      } else {
        merged.push_back(run);
      }
    }
    const bool continues = !merged.empty() && merged == above &&
                           joined.size() - aboveFirst == merged.size() &&
                           joined.back().Bottom == top;
    if (continues) {
      for (std::size_t i = aboveFirst; i < joined.size(); ++i) joined[i].Bottom = bottom;
      continue;
    }
    aboveFirst = joined.size();
    for (const auto& [left, right] : merged) joined.push_back({left, top, right, bottom});
    above = std::move(merged);
  }
  return joined;
}

TPixelRect TFrameDamage::Bounds(const TBodyLook& body, const TMatrix3D& viewProjection,
                                const TViewLook& view) const {
  if (!body.Visible) return {};
  if (!body.Bounded) return {0, 0, view.Width, view.Height};
  return SphereOnView(body.Centre, body.Radius, viewProjection, view.Width, view.Height, kMargin);
}

std::vector<TPixelRect> TFrameDamage::Next(const TViewLook& view,
                                           const std::vector<TBodyLook>& bodies) {
  const TPixelRect whole{0, 0, std::max(view.Width, 0), std::max(view.Height, 0)};
  const bool viewChanged = !FHaveLast || view.Width != FView.Width || view.Height != FView.Height ||
                           view.Rest != FView.Rest || view.Camera != FView.Camera ||
                           view.Projection != FView.Projection;
  const TMatrix3D viewProjection = view.Camera * view.Projection;
  std::vector<TPixelRect> changed;
  std::unordered_map<const void*, TLast> now;
  for (const TBodyLook& body : bodies) {
    TLast& entry = now[body.Id];
    entry.Look = body;
    const auto last = FBodies.find(body.Id);
    const bool same =
        last != FBodies.end() && last->second.Look.Visible == body.Visible &&
        (!body.Visible ||
         (last->second.Look.Matrix == body.Matrix && last->second.Look.Material == body.Material &&
          last->second.Look.Bounded == body.Bounded && last->second.Look.Centre == body.Centre &&
          last->second.Look.Radius == body.Radius));
    // Bounds only where they are needed: a still body under a still camera keeps its own.
    entry.Rect = same && !viewChanged ? last->second.Rect : Bounds(body, viewProjection, view);
    if (viewChanged || same) continue;
    changed.push_back(entry.Rect);
    if (last != FBodies.end()) changed.push_back(last->second.Rect);
  }
  // Bodies that are gone leave their old place to the rest.
  for (const auto& [id, last] : FBodies) {
    if (!now.count(id)) changed.push_back(last.Rect);
  }
  FBodies = std::move(now);
  FView = view;
  FHaveLast = true;
  if (viewChanged) return whole.Empty() ? std::vector<TPixelRect>{} : std::vector{whole};
  return JoinRects(std::move(changed));
}

}  // namespace rt3d
