#pragma once

#include <osgFX/Effect>
#include <osgFX/Technique>

namespace Orvana
{

// Draws its subgraph as it is, then once more with only the back faces, in solid red: seen
// through a cut, the inside of a closed model shows red.
class ARCappingTechnique : public osgFX::Technique
{
public:
    ARCappingTechnique() = default;

    META_Technique("ARCappingTechnique", "Colours the back faces of clipped models red")

        static const char* vertexShaderFile()
    {
        return "shaders/capping_effect.vert";
    }
    static const char* fragmentShaderFile() { return "shaders/capping_effect.frag"; }
    static const char* vertexShaderSource();
    static const char* fragmentShaderSource();

protected:
    void define_passes() override;
};

class ARCappingEffect : public osgFX::Effect
{
public:
    ARCappingEffect();
    ARCappingEffect(const ARCappingEffect& other, const osg::CopyOp& copyop = osg::CopyOp::SHALLOW_COPY);

    META_Effect(Orvana, ARCappingEffect, "ARCappingEffect", "A shader based capping effect for clipping",
                "Orvana")

        protected : ~ARCappingEffect() override;

    bool define_techniques() override;
};

} // namespace Orvana
