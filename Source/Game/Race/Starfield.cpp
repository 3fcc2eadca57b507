#include "Race/Starfield.h"

#include <algorithm>

#include "Math/MathFunctions.h"
#include "Math/Random.h"

using namespace Meridian;

const Fixed Starfield::FarZ = Fixed::FromInt(-50);
const Fixed Starfield::NearZ = Fixed::FromInt(30);

namespace {

const Fixed BrightnessScale = Fixed::FromRaw(1311);  // 1/50

}  // namespace

void Starfield::Init(I32 count) {
    if (count < 0) count = DefaultCount;
    PolygonData* data = GetData();
    if (m_Stars.empty() && count > 0) {
        m_Stars.resize(static_cast<size_t>(count));
        for (size_t i = 0; i < m_Stars.size(); ++i) {
            Respawn(i);
            if (data->m_Vertices.size() < i + 1) data->m_Vertices.resize(i + 1, Float3{0.0f, 0.0f, 0.0f});
            if (data->m_Colors.size() < i + 1) data->m_Colors.resize(i + 1, Float4{1.0f, 1.0f, 1.0f, 1.0f});
            // One step of random length spreads the first stars along z.
            Advance(i, RandomRange(Fixed::Zero, Fixed::FromInt(30)), Fixed::One);
        }
        MarkDirty(ArrayVertices | ArrayColors);
    }
    SetPrimitiveType(PrimitivePointSprites);
    SetPrimitiveCount(std::min(count, static_cast<I32>(m_Stars.size())));
}

void Starfield::Respawn(size_t index) {
    Star& star = m_Stars[index];
    star.velocity = {Fixed::Zero, Fixed::Zero, (RandomFixed() + Fixed::One) * Fixed::FromInt(5)};
    star.color = {Fixed::One, Fixed::One, Fixed::One};
    if (RandomFixed() > Fixed::FromRaw(32768))
        star.color.z = RandomRange(Fixed::Zero, Fixed::FromRaw(32768)) + Fixed::FromRaw(32768);  // yellowish

    const Fixed angle = RandomRange(Fixed::Zero, Fixed::FromInt(360));
    Vector3 ring = {Sin(angle), Cos(angle), Fixed::Zero};
    const Fixed squared = ring.LengthSquared();
    if (squared < Fixed::OneMinusTolerance || squared > Fixed::OnePlusTolerance) ring.Normalize();
    const Fixed radius = RandomRange(Fixed::FromInt(7), Fixed::FromInt(15));
    star.position = {radius * ring.x, radius * ring.y, FarZ};
}

void Starfield::Advance(size_t index, Fixed a, Fixed b) {
    Star& star = m_Stars[index];
    star.position += (star.velocity * a) * b;

    // 0 at the far plane, 2.0 at z = 0; colours above 1 saturate when drawn.
    const Fixed brightness = Fixed::FromInt(2) * (star.position.z * BrightnessScale + Fixed::One);
    PolygonData* data = GetData();
    if (index < data->m_Colors.size())
        data->m_Colors[index] = {(star.color.x * brightness).ToFloat(), (star.color.y * brightness).ToFloat(),
                                 (star.color.z * brightness).ToFloat(), 1.0f};
    if (index < data->m_Vertices.size())
        data->m_Vertices[index] = {star.position.x.ToFloat(), star.position.y.ToFloat(), star.position.z.ToFloat()};

    if (star.position.z >= NearZ || star.position.z < FarZ) Respawn(index);
}

void Starfield::Update(Fixed a, Fixed b) {
    for (size_t i = 0; i < m_Stars.size(); ++i) Advance(i, a, b);
    MarkDirty(ArrayVertices | ArrayColors);
}
