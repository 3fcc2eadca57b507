#include "Scene/Material.h"

namespace Meridian {

Material::Material()
    : m_Ambient{0.2f, 0.2f, 0.2f, 1.0f},
      m_Diffuse{0.8f, 0.8f, 0.8f, 1.0f},
      m_Specular{0.0f, 0.0f, 0.0f, 1.0f},
      m_Emission{0.0f, 0.0f, 0.0f, 1.0f},
      m_Shininess(Fixed::Zero) {}

void Material::SetShininess(Fixed shininess) {
    const Fixed most = Fixed::FromInt(128);
    m_Shininess = shininess > most ? most : (shininess < Fixed::Zero ? Fixed::Zero : shininess);
}

}  // namespace Meridian
