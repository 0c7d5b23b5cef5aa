#include "view/picking.h"

#include <cmath>
#include <limits>
#include <numbers>

#include "base/vec3.h"

namespace kelvane {

namespace {

using V3 = std::array<double, 3>;

Matrix4 Translation(double x, double y, double z) {
  Matrix4 t = Matrix4::Identity();
  t.at(0, 3) = x;
  t.at(1, 3) = y;
  t.at(2, 3) = z;
  return t;
}

Matrix4 Scaling(double x, double y, double z) {
  Matrix4 s = Matrix4::Identity();
  s.at(0, 0) = x;
  s.at(1, 1) = y;
  s.at(2, 2) = z;
  return s;
}

// glRotatef's matrix: `degrees` about the axis (x, y, z).
Matrix4 Rotation(double degrees, double x, double y, double z) {
  const V3 a = Unit(V3{x, y, z});
  const double r = degrees * std::numbers::pi / 180.0;
  const double c = std::cos(r), s = std::sin(r), k = 1.0 - c;
  Matrix4 m = Matrix4::Identity();
  m.at(0, 0) = a[0] * a[0] * k + c;
  m.at(0, 1) = a[0] * a[1] * k - a[2] * s;
  m.at(0, 2) = a[0] * a[2] * k + a[1] * s;
  m.at(1, 0) = a[1] * a[0] * k + a[2] * s;
  m.at(1, 1) = a[1] * a[1] * k + c;
  m.at(1, 2) = a[1] * a[2] * k - a[0] * s;
  m.at(2, 0) = a[2] * a[0] * k - a[1] * s;
  m.at(2, 1) = a[2] * a[1] * k + a[0] * s;
  m.at(2, 2) = a[2] * a[2] * k + c;
  return m;
}

// gluLookAt's matrix.
Matrix4 LookAt(const V3& eye, const V3& centre, const V3& up) {
  const V3 f = Unit(Sub(centre, eye));
  const V3 s = Unit(Cross(f, up));
  const V3 u = Cross(s, f);
  Matrix4 m = Matrix4::Identity();
  for (int c = 0; c < 3; ++c) {
    m.at(0, c) = s[static_cast<std::size_t>(c)];
    m.at(1, c) = u[static_cast<std::size_t>(c)];
    m.at(2, c) = -f[static_cast<std::size_t>(c)];
  }
  return m * Translation(-eye[0], -eye[1], -eye[2]);
}

double Determinant3(const Matrix4& m) {
  return m.at(0, 0) * (m.at(1, 1) * m.at(2, 2) - m.at(1, 2) * m.at(2, 1)) -
         m.at(0, 1) * (m.at(1, 0) * m.at(2, 2) - m.at(1, 2) * m.at(2, 0)) +
         m.at(0, 2) * (m.at(1, 0) * m.at(2, 1) - m.at(1, 1) * m.at(2, 0));
}

V3 ApplyD(const Matrix4& m, double x, double y, double z) {
  double out[4];
  for (int r = 0; r < 4; ++r)
    out[r] = m.at(r, 0) * x + m.at(r, 1) * y + m.at(r, 2) * z + m.at(r, 3);
  const double w = out[3] != 0.0 ? out[3] : 1.0;
  return {out[0] / w, out[1] / w, out[2] / w};
}

V3 Apply(const Matrix4& m, const TVector3& v) {
  return ApplyD(m, v.x, v.y, v.z);
}

TVector3 ToVector(const V3& v) {
  return {static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])};
}

}  // namespace

Matrix4 Matrix4::Identity() {
  Matrix4 i;
  for (int k = 0; k < 4; ++k)
    i.at(k, k) = 1.0;
  return i;
}

Matrix4 operator*(const Matrix4& a, const Matrix4& b) {
  Matrix4 out;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      double sum = 0.0;
      for (int k = 0; k < 4; ++k)
        sum += a.at(r, k) * b.at(k, c);
      out.at(r, c) = sum;
    }
  }
  return out;
}

TVector3 TransformPoint(const Matrix4& m, double x, double y, double z) {
  return ToVector(ApplyD(m, x, y, z));
}

std::optional<Matrix4> Inverse(const Matrix4& m) {
  // Gauss-Jordan with partial pivoting on [m | I].
  double a[4][8];
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      a[r][c] = m.at(r, c);
      a[r][c + 4] = r == c ? 1.0 : 0.0;
    }
  }
  for (int c = 0; c < 4; ++c) {
    int pivot = c;
    for (int r = c + 1; r < 4; ++r)
      if (std::abs(a[r][c]) > std::abs(a[pivot][c])) pivot = r;
    if (std::abs(a[pivot][c]) < 1e-300) return std::nullopt;
    if (pivot != c)
      for (int k = 0; k < 8; ++k)
        std::swap(a[c][k], a[pivot][k]);
    const double d = a[c][c];
    for (int k = 0; k < 8; ++k)
      a[c][k] /= d;
    for (int r = 0; r < 4; ++r) {
      if (r == c) continue;
      const double f = a[r][c];
      for (int k = 0; k < 8; ++k)
        a[r][k] -= f * a[c][k];
    }
  }
  Matrix4 out;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      out.at(r, c) = a[r][c + 4];
  return out;
}

Matrix4 ProjectionMatrix(int width, int height) {
  const double aspect =
      width < 1 || height < 1 ? 1.0 : static_cast<double>(width) / static_cast<double>(height);
  const double nearPlane = 1.0, farPlane = 300.0;
  const double f = 1.0 / std::tan(45.0 / 2.0 * std::numbers::pi / 180.0);
  Matrix4 p;
  p.at(0, 0) = f / aspect;
  p.at(1, 1) = f;
  p.at(2, 2) = (farPlane + nearPlane) / (nearPlane - farPlane);
  p.at(2, 3) = 2.0 * farPlane * nearPlane / (nearPlane - farPlane);
  p.at(3, 2) = -1.0;
  return p;
}

Matrix4 ViewMatrix(const ViewState& v) {
  // The frame works in single precision; so does this, up to the matrices.
  const float radians = v.RotY * std::numbers::pi_v<float> / 180.0f;
  return LookAt({0.0, 20.0, 120.0}, {0.0, 30.0, 0.0}, {0.0, 1.0, 0.0}) * Rotation(v.RotX, 1, 0, 0) *
         Rotation(v.RotY, 0, 1, 0) * Scaling(v.Zoom, v.Zoom, v.Zoom) *
         Translation(std::cos(radians) * v.PanX, v.PanY, std::sin(radians) * v.PanX);
}

Matrix4 PlacementMatrix(const std::vector<PlacementStep>& steps) {
  Matrix4 m = Matrix4::Identity();
  for (const PlacementStep& s : steps) {
    m = m * (s.kind == PlacementStep::Kind::Translate ? Translation(s.x, s.y, s.z)
                                                      : Rotation(s.angle, s.x, s.y, s.z));
  }
  return m;
}

Matrix4 ObjectMatrix(const TTransformList& list) {
  Matrix4 m = Matrix4::Identity();
  if (!list.enabled) return m;
  for (const TTransform& t : list.items) {
    if (!t.active) continue;
    switch (t.kind) {
      case TransformKind::Rotate:
        m = m * Rotation(t.angle, t.x, t.y, t.z);
        break;
      case TransformKind::Translate:
        m = m * Translation(t.x, t.y, t.z);
        break;
      case TransformKind::Scale:
        m = m * Scaling(t.x, t.y, t.z);
        break;
    }
  }
  return m;
}

std::optional<std::array<double, 2>> ProjectToWindow(const ViewState& view, int width, int height,
                                                     const TVector3& scene) {
  const Matrix4 m = ProjectionMatrix(width, height) * ViewMatrix(view);
  double clip[4];
  for (int r = 0; r < 4; ++r)
    clip[r] = m.at(r, 0) * scene.x + m.at(r, 1) * scene.y + m.at(r, 2) * scene.z + m.at(r, 3);
  if (clip[3] <= 0.0) return std::nullopt;
  const double nx = clip[0] / clip[3], ny = clip[1] / clip[3];
  return std::array<double, 2>{(nx + 1.0) / 2.0 * width, (1.0 - ny) / 2.0 * height};
}

std::optional<Ray> PixelRay(const ViewState& view, int width, int height, double x, double y) {
  if (width < 1 || height < 1) return std::nullopt;
  const auto inverse = Inverse(ProjectionMatrix(width, height) * ViewMatrix(view));
  if (!inverse) return std::nullopt;
  const double nx = (x + 0.5) / width * 2.0 - 1.0;
  const double ny = 1.0 - (y + 0.5) / height * 2.0;
  Ray ray;
  ray.origin = ApplyD(*inverse, nx, ny, -1.0);
  const V3 along = Sub(ApplyD(*inverse, nx, ny, 1.0), ray.origin);
  ray.length = Length(along);
  ray.direction = Unit(along);
  return ray;
}

std::optional<PickHit> PickRay(const Ray& ray, const std::vector<PickTarget>& targets,
                               bool snapToVertex) {
  std::optional<PickHit> best;
  std::vector<V3> corners;
  for (std::size_t t = 0; t < targets.size(); ++t) {
    const PickTarget& target = targets[t];
    if (!target.model) continue;
    const Matrix4 placed =
        target.placement ? PlacementMatrix(*target.placement) : Matrix4::Identity();
    for (std::size_t o = 0; o < target.model->objects.size(); ++o) {
      const T3DObject& object = *target.model->objects[o];
      const Matrix4 m = placed * ObjectMatrix(object.transforms);
      // A mirroring transform turns the winding GL sees.
      const bool mirrored = Determinant3(m) < 0.0;
      const bool twoSided = object.material.twoSided == 1;
      corners.resize(object.vertices.size());
      for (std::size_t v = 0; v < object.vertices.size(); ++v)
        corners[v] = Apply(m, object.vertices[v]);
      for (std::size_t f = 0; f < object.faces.size(); ++f) {
        if (!object.FaceInRange(f)) continue;
        const V3& a = corners[object.faces[f].a];
        const V3& b = corners[object.faces[f].b];
        const V3& c = corners[object.faces[f].c];
        const V3 e1 = Sub(b, a), e2 = Sub(c, a);
        double facing = Dot(Cross(e1, e2), ray.direction);
        if (mirrored) facing = -facing;
        // Counter-clockwise on the screen is the front; culled backs hide.
        if (!twoSided && facing >= 0.0) continue;
        const V3 p = Cross(ray.direction, e2);
        const double det = Dot(e1, p);
        if (std::abs(det) < 1e-18) continue;
        const V3 s = Sub(ray.origin, a);
        const double u = Dot(s, p) / det;
        if (u < 0.0 || u > 1.0) continue;
        const V3 q = Cross(s, e1);
        const double w = Dot(ray.direction, q) / det;
        if (w < 0.0 || u + w > 1.0) continue;
        const double distance = Dot(e2, q) / det;
        if (distance < 0.0 || distance > ray.length || (best && distance >= best->distance))
          continue;
        PickHit hit;
        hit.point = ToVector({ray.origin[0] + distance * ray.direction[0],
                              ray.origin[1] + distance * ray.direction[1],
                              ray.origin[2] + distance * ray.direction[2]});
        hit.distance = distance;
        hit.target = t;
        hit.object = o;
        best = hit;
      }
    }
  }
  if (!best || !snapToVertex) return best;
  // The vertex nearest the point hit, among every drawn face's corners.
  const V3 at{best->point.x, best->point.y, best->point.z};
  double nearest = std::numeric_limits<double>::infinity();
  for (const PickTarget& target : targets) {
    if (!target.model) continue;
    const Matrix4 placed =
        target.placement ? PlacementMatrix(*target.placement) : Matrix4::Identity();
    for (const auto& object : target.model->objects) {
      const Matrix4 m = placed * ObjectMatrix(object->transforms);
      for (std::size_t f = 0; f < object->faces.size(); ++f) {
        if (!object->FaceInRange(f)) continue;
        for (std::uint32_t index : {object->faces[f].a, object->faces[f].b, object->faces[f].c}) {
          const V3 v = Apply(m, object->vertices[index]);
          const V3 d = Sub(v, at);
          const double squared = Dot(d, d);
          if (squared < nearest) {
            nearest = squared;
            best->point = ToVector(v);
          }
        }
      }
    }
  }
  best->snapped = true;
  return best;
}

}  // namespace kelvane
