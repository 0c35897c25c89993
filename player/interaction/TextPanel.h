#pragma once

#include <string>

#include <osg/MatrixTransform>
#include <osg/ref_ptr>

namespace osg
{
class Geode;
}
namespace osgText
{
class Text;
}

namespace Orvana
{

class BackgroundPlane;

// A text on its background. The local origin is the background's top-left corner; the alignment
// shifts the panel so that the anchor of its placement falls on the matching corner, edge midpoint
// or centre.
class TextPanel : public osg::MatrixTransform
{
public:
    TextPanel();

    void setText(const std::string& text);
    std::string getText() const;
    void setAlignment(int placement);
    int getAlignment() const { return _alignment; }

    BackgroundPlane* getBackground() const { return _background.get(); }
    osgText::Text* getTextDrawable() const { return _text.get(); }

protected:
    ~TextPanel() override;

private:
    osg::ref_ptr<BackgroundPlane> _background;
    osg::ref_ptr<osg::Geode> _textGeode;
    osg::ref_ptr<osgText::Text> _text;
    int _alignment = 0;
    int _characterSize = 20;
    std::string _font = "data/arial.ttf";
    float _marginTop = 10.0f;
    float _marginBottom = 10.0f;
    float _marginLeft = 10.0f;
    float _marginRight = 10.0f;
};

} // namespace Orvana
