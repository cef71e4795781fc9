#include "runtime3d/core/FramePlan.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "runtime3d/core/Context3D.h"
#include "runtime3d/core/Control3D.h"

namespace rt3d {

namespace {

struct TPlane {
  TPoint3D Normal;  // unit length
  double Offset = 0;
  // Signed distance; positive on the inner side.
  double Distance(const TPoint3D& p) const { return Dot(Normal, p) + Offset; }
};

// The inner side of a clip inequality sum_j k_j * clip_j >= 0, in world coordinates.
TPlane ClipPlane(const TMatrix3D& m, const double k[4]) {
  double n[3], d = 0;
  for (int i = 0; i < 3; ++i) {
    n[i] = 0;
    for (int j = 0; j < 4; ++j) n[i] += k[j] * m[i][j];
  }
  for (int j = 0; j < 4; ++j) d += k[j] * m[3][j];
  const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  if (!(length > 0)) return {{0, 0, 0}, 1};  // degenerate: keeps everything
  return {{float(n[0] / length), float(n[1] / length), float(n[2] / length)}, d / length};
}

struct TItem {
  TControl3D* Object = nullptr;
  bool Free = false;
  bool Neutral = false;  // draws nothing
  bool Shell = false;
  TPoint3D Centre;
  float Inner = 0, Outer = 0;
  double EyeDistance = 0;
  bool Culled = false;
};

// No point of one shell can be at the other's depth: they are apart, or one lies wholly
// inside the other's inner sphere. The margin keeps surfaces that nearly touch apart after
// depth quantisation.
bool ShellsApart(const TItem& a, const TItem& b) {
  const double d = Distance(a.Centre, b.Centre);
  const double margin = 1e-3 * std::max(a.Outer, b.Outer);
  return d > double(a.Outer) + b.Outer + margin || d + a.Outer + margin < b.Inner ||
         d + b.Outer + margin < a.Inner;
}

}  // namespace

bool DrawsNothing(const TControl3D& object) {
  if (object.OnRender || object.DrawsItself()) return false;
  for (const TControl3D* child : object.RenderingList()) {
    if (child->Visible() && !DrawsNothing(*child)) return false;
  }
  return true;
}

bool IsOrderFree(TControl3D& object) {
  if (!object.ZWrite() || object.Projection() != TProjection::Camera || object.OnRender ||
      !object.DrawsItself()) {
    return false;
  }
  for (const TControl3D* child : object.RenderingList()) {
    if (child->Visible() && !DrawsNothing(*child)) return false;
  }
  // Drawn without blending (Opaque), its pixels replace what was there either way.
  return object.Opaque() || object.GivesOpaquePixels();
}

std::vector<TControl3D*> PlanFrame(const std::vector<TControl3D*>& objects, const TMatrix3D& camera,
                                   const TMatrix3D& projection) {
  const TMatrix3D viewProjection = camera * projection;
  const TPoint3D eye = TransformPoint({0, 0, 0}, camera.Inverse());
  // Left, right, bottom, top, far; and the near plane z >= 0.
  static const double kSides[5][4] = {
      {1, 0, 0, 1}, {-1, 0, 0, 1}, {0, 1, 0, 1}, {0, -1, 0, 1}, {0, 0, -1, 1}};
  static const double kNear[4] = {0, 0, 1, 0};
  TPlane planes[5];
  for (int i = 0; i < 5; ++i) planes[i] = ClipPlane(viewProjection, kSides[i]);
  const TPlane nearPlane = ClipPlane(viewProjection, kNear);

  std::vector<TItem> items;
  items.reserve(objects.size());
  for (TControl3D* object : objects) {
    TItem item;
    item.Object = object;
    item.Free = IsOrderFree(*object);
    item.Neutral = !item.Free && DrawsNothing(*object);
    item.Shell = item.Free && object->DrawnShell(item.Centre, item.Inner, item.Outer) &&
                 std::isfinite(item.Outer) && item.Outer >= 0 && std::isfinite(item.Inner) &&
                 std::isfinite(item.Centre.X) && std::isfinite(item.Centre.Y) &&
                 std::isfinite(item.Centre.Z);
    if (item.Shell) item.EyeDistance = Distance(eye, item.Centre);
    items.push_back(item);
  }

  // Outside the view: wholly beyond one of the planes (the near one counts only as far
  // as z >= -w, which keeps more than it must).
  static const double kWideNear[4] = {0, 0, 1, 1};
  const TPlane wideNear = ClipPlane(viewProjection, kWideNear);
  for (TItem& item : items) {
    if (!item.Shell) continue;
    for (const TPlane& plane : planes) {
      if (plane.Distance(item.Centre) < -double(item.Outer)) item.Culled = true;
    }
    if (wideNear.Distance(item.Centre) < -double(item.Outer)) item.Culled = true;
  }

  // Hidden: inside the cone from the eye around an occluder's inner sphere and wholly
  // beyond the occluder's centre, so every ray to it meets the occluder's front first. An
  // occluder must be drawn whole: in the view and clear of the near and far planes. Only a
  // nearer occluder can hide another, so taking them nearest first settles each one's own
  // fate before it hides anything.
  std::vector<const TItem*> byDistance;
  for (const TItem& item : items) {
    if (item.Shell) byDistance.push_back(&item);
  }
  std::stable_sort(byDistance.begin(), byDistance.end(),
                   [](const TItem* a, const TItem* b) { return a->EyeDistance < b->EyeDistance; });
  for (const TItem* candidate : byDistance) {
    const TItem& occluder = *candidate;
    if (!occluder.Shell || occluder.Culled || !occluder.Object->IsClosedConvex() ||
        !(occluder.Inner > 0) || !(occluder.EyeDistance > occluder.Outer) ||
        nearPlane.Distance(occluder.Centre) <= occluder.Outer ||
        planes[4].Distance(occluder.Centre) <= occluder.Outer) {
      continue;
    }
    const double coneAngle = std::asin(occluder.Inner / occluder.EyeDistance);
    const TPoint3D toOccluder = Normalize(occluder.Centre - eye);
    for (TItem& item : items) {
      if (&item == &occluder || !item.Shell || item.Culled) continue;
      if (item.EyeDistance - item.Outer <= occluder.EyeDistance) continue;
      const double cosine = std::clamp(Dot(toOccluder, Normalize(item.Centre - eye)), -1.0, 1.0);
      const double angle = std::acos(cosine);
      const double itemAngle = std::asin(std::min(1.0, item.Outer / item.EyeDistance));
      // A small allowance for rounding in the angles.
      if (angle + itemAngle < coneAngle - 1e-6) item.Culled = true;
    }
  }

  std::vector<TControl3D*> planned;
  planned.reserve(items.size());
  std::size_t i = 0;
  while (i < items.size()) {
    if (!items[i].Free && !items[i].Neutral) {
      planned.push_back(items[i].Object);
      ++i;
      continue;
    }
    // A run of order-free objects (and of objects that draw nothing, which go first): nearest
    // first when no two surfaces can meet.
    std::size_t end = i;
    while (end < items.size() && (items[end].Free || items[end].Neutral)) ++end;
    std::vector<TItem*> run;
    for (std::size_t k = i; k < end; ++k) {
      if (items[k].Neutral) {
        planned.push_back(items[k].Object);
      } else if (!items[k].Culled) {
        run.push_back(&items[k]);
      }
    }
    bool reorder = true;
    for (std::size_t a = 0; a < run.size() && reorder; ++a) {
      if (!run[a]->Shell) reorder = false;
      for (std::size_t b = a + 1; b < run.size() && reorder; ++b) {
        if (!ShellsApart(*run[a], *run[b])) reorder = false;
      }
    }
    if (reorder) {
      auto key = [](const TItem* item) {
        // Around the eye (a sky): behind everything else of the run.
        return item->EyeDistance < item->Outer ? std::numeric_limits<double>::infinity()
                                               : item->EyeDistance - item->Outer;
      };
      std::stable_sort(run.begin(), run.end(),
                       [&](const TItem* a, const TItem* b) { return key(a) < key(b); });
    }
    for (const TItem* item : run) planned.push_back(item->Object);
    i = end;
  }
  return planned;
}

}  // namespace rt3d
