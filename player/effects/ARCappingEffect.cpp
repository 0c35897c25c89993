#include "player/effects/ARCappingEffect.h"

#include <osg/CullFace>
#include <osg/Program>
#include <osg/Shader>
#include <osg/StateSet>

namespace Orvana
{

const char* ARCappingTechnique::vertexShaderSource()
{
    return "// simple capping shader - colors a (back) fragment \n"
           "void main(void)\n"
           "{\n"
           "    gl_ClipVertex = gl_ModelViewMatrix * gl_Vertex;\n"
           "\n"
           "    gl_Position = ftransform();\n"
           "}\n";
}

const char* ARCappingTechnique::fragmentShaderSource()
{
    return "// simple capping shader - colors a (back) fragment \n"
           "void main(void)\n"
           "{\n"
           "\tif (gl_FrontFacing) // are we looking at a front face?\n"
           "\t\tdiscard; // stop processing the fragment...\n"
           "\telse\n"
           "\t\tgl_FragColor = vec4(1.0, 0.0, 0.0, 1.0); // no: red\n"
           "}\n";
}

void ARCappingTechnique::define_passes()
{
    // The capping pass discards every front face, so the content itself needs a pass of its own;
    // without its back faces, which would fight with the red ones at the same depth.
    osg::ref_ptr<osg::StateSet> plain = new osg::StateSet;
    plain->setAttributeAndModes(new osg::CullFace(osg::CullFace::BACK),
                                osg::StateAttribute::ON | osg::StateAttribute::OVERRIDE);
    addPass(plain.get());

    osg::ref_ptr<osg::StateSet> capping = new osg::StateSet;
    capping->setAttributeAndModes(new osg::CullFace(osg::CullFace::FRONT_AND_BACK),
                                  osg::StateAttribute::OFF | osg::StateAttribute::OVERRIDE);

    osg::ref_ptr<osg::Shader> vertex = new osg::Shader(osg::Shader::VERTEX, vertexShaderSource());
    vertex->setFileName(vertexShaderFile());
    osg::ref_ptr<osg::Shader> fragment = new osg::Shader(osg::Shader::FRAGMENT, fragmentShaderSource());
    fragment->setFileName(fragmentShaderFile());
    osg::ref_ptr<osg::Program> program = new osg::Program;
    program->setName("capping_effect");
    program->addShader(vertex.get());
    program->addShader(fragment.get());
    capping->setAttributeAndModes(program.get(), osg::StateAttribute::ON | osg::StateAttribute::OVERRIDE);
    addPass(capping.get());
}

ARCappingEffect::ARCappingEffect() = default;

ARCappingEffect::ARCappingEffect(const ARCappingEffect& other, const osg::CopyOp& copyop)
    : osgFX::Effect(other, copyop)
{
}

ARCappingEffect::~ARCappingEffect() = default;

bool ARCappingEffect::define_techniques()
{
    addTechnique(new ARCappingTechnique);
    return true;
}

} // namespace Orvana
