// Triangle set-up: range gate, ordering, area, gradients and the edges that
// the row loop walks.
#include <cstdint>

#include "core/helpers.h"
#include "softrender/triangle.h"

namespace {

bool InCoordRange(int64_t value) {
  return value >= kTriangleCoordMin && value <= kTriangleCoordMax;
}

// The set-up and the row walk take each difference either way round, so
// both it and its opposite must be in range: -8192 is, but 8192 is 2^31 in
// 14.18, one past what 32 bits hold.
bool DifferenceInRange(int64_t d) { return InCoordRange(d) && InCoordRange(-d); }

// The values and their pairwise differences must stay inside the range, or
// the 14.18 positions and slopes would not fit 32 bits.
bool CoordsInRange(int32_t a, int32_t b, int32_t c) {
  return InCoordRange(a) && InCoordRange(b) && InCoordRange(c) && DifferenceInRange(int64_t{b} - a) &&
         DifferenceInRange(int64_t{c} - a) && DifferenceInRange(int64_t{c} - b);
}

// Exchange sort of the indices 0, 1, 2; equal keys keep the lower index first.
void SortIndices(const int32_t key[3], int order[3]) {
  order[0] = 0;
  order[1] = 1;
  order[2] = 2;
  for (int i = 0; i < 2; i++) {
    for (int j = i + 1; j < 3; j++) {
      if (key[order[i]] > key[order[j]]) {
        int t = order[i];
        order[i] = order[j];
        order[j] = t;
      }
    }
  }
}

int32_t Gradient(int32_t cross, int32_t area) {
  return DoubleToIntTrunc(static_cast<double>(cross) * 262144.0 / static_cast<double>(area));
}

TriangleEdge MakeEdge(int32_t fromX, int32_t fromY, int32_t toX, int32_t toY) {
  TriangleEdge e;
  e.rows = (toY - fromY) >> kTriangleFracBits;  // exact: whole rows apart
  e.x = fromX;
  e.slope = (toX - fromX) / e.rows;
  return e;
}

TriangleSide SingleEdgeSide(TriangleEdge edge) {
  TriangleSide side{};
  side.edge = edge;
  return side;
}

}  // namespace

int SetupTriangleGeometry(TriangleSetup* s, const TriangleVertex vertices[3], int textured) {
  const TriangleVertex& v0 = vertices[0];
  const TriangleVertex& v1 = vertices[1];
  const TriangleVertex& v2 = vertices[2];
  if (!CoordsInRange(v0.x, v1.x, v2.x) || !CoordsInRange(v0.y, v1.y, v2.y)) return -1;
  if (textured && (!CoordsInRange(v0.u, v1.u, v2.u) || !CoordsInRange(v0.v, v1.v, v2.v))) {
    return -1;
  }

  int32_t X[3], Y[3];
  for (int i = 0; i < 3; i++) {
    X[i] = vertices[i].x * kTriangleOne + kTriangleHalf;
    Y[i] = vertices[i].y * kTriangleOne + kTriangleHalf;
  }
  int a[3], b[3];
  SortIndices(X, a);
  SortIndices(Y, b);

  // Whole-pixel differences in order A; twice the signed area.
  const int32_t dx1 = vertices[a[1]].x - vertices[a[0]].x;
  const int32_t dx2 = vertices[a[2]].x - vertices[a[0]].x;
  const int32_t dy1 = vertices[a[1]].y - vertices[a[0]].y;
  const int32_t dy2 = vertices[a[2]].y - vertices[a[0]].y;
  const int32_t area = dy1 * dx2 - dy2 * dx1;
  if (area == 0) return -1;

  // Unused by solid triangles, whose u and v callers may leave unset.
  if (textured) {
    const int32_t du1 = vertices[a[1]].u - vertices[a[0]].u;
    const int32_t du2 = vertices[a[2]].u - vertices[a[0]].u;
    const int32_t dv1 = vertices[a[1]].v - vertices[a[0]].v;
    const int32_t dv2 = vertices[a[2]].v - vertices[a[0]].v;
    s->dudx = Gradient(dy1 * du2 - dy2 * du1, area);
    s->dudy = Gradient(du1 * dx2 - dx1 * du2, area);
    s->dvdx = Gradient(dy1 * dv2 - dy2 * dv1, area);
    s->dvdy = Gradient(dv1 * dx2 - dx1 * dv2, area);
    s->uRef = vertices[a[0]].u * kTriangleOne;
    s->vRef = vertices[a[0]].v * kTriangleOne;
  } else {
    s->dudx = s->dudy = s->dvdx = s->dvdy = 0;
    s->uRef = s->vRef = 0;
  }
  s->xRef = TrianglePixel(X[a[0]]);
  s->yRef = TrianglePixel(Y[a[0]]);

  const int t = b[0], m = b[1], l = b[2];
  if (Y[t] == Y[m]) {
    // Flat top.
    const int leftTop = X[m] < X[t] ? m : t;
    const int rightTop = leftTop == t ? m : t;
    s->left = SingleEdgeSide(MakeEdge(X[leftTop], Y[leftTop], X[l], Y[l]));
    s->right = SingleEdgeSide(MakeEdge(X[rightTop], Y[rightTop], X[l], Y[l]));
    s->startRow = TrianglePixel(Y[leftTop]);
  } else if (Y[m] == Y[l]) {
    // Flat bottom.
    const int leftBottom = X[m] <= X[l] ? m : l;
    const int rightBottom = leftBottom == m ? l : m;
    s->left = SingleEdgeSide(MakeEdge(X[t], Y[t], X[leftBottom], Y[leftBottom]));
    s->right = SingleEdgeSide(MakeEdge(X[t], Y[t], X[rightBottom], Y[rightBottom]));
    s->startRow = TrianglePixel(Y[t]);
  } else {
    const double rowsLong = static_cast<double>(Y[l] - Y[t]) / 262144.0;
    const double rowsShort = static_cast<double>(Y[m] - Y[t]) / 262144.0;
    const double slopeLong = static_cast<double>(X[l] - X[t]) / rowsLong;
    const double slopeShort = static_cast<double>(X[m] - X[t]) / rowsShort;
    const TriangleEdge longEdge = MakeEdge(X[t], Y[t], X[l], Y[l]);
    const TriangleEdge upper = MakeEdge(X[t], Y[t], X[m], Y[m]);
    if (slopeLong > slopeShort) {
      // The middle vertex is on the left.
      s->right = SingleEdgeSide(longEdge);
      s->left = SingleEdgeSide(upper);
      s->left.next = MakeEdge(X[m], Y[m], X[l], Y[l]);
      s->left.hasNext = 1;
    } else {
      s->left = SingleEdgeSide(longEdge);
      s->right = SingleEdgeSide(upper);
      // One 2^-18 step right of the middle vertex.
      s->right.next = MakeEdge(X[m] + 1, Y[m], X[l], Y[l]);
      s->right.hasNext = 1;
    }
    s->startRow = TrianglePixel(Y[t]);
  }
  return 0;
}
