#include "player/interaction/TextPanel.h"

#include <osg/Geode>
#include <osgText/Text>

#include "player/interaction/BackgroundPlane.h"

namespace Orvana
{

TextPanel::TextPanel()
    : _background(new BackgroundPlane), _textGeode(new osg::Geode), _text(new osgText::Text)
{
    addChild(_background.get());
    addChild(_textGeode.get());
    _text->setFont(_font);
    _text->setCharacterSize(static_cast<float>(_characterSize));
    _text->setPosition(osg::Vec3(_marginLeft, -_marginTop, -0.5f));
    _textGeode->addDrawable(_text.get());
}

TextPanel::~TextPanel() = default;

void TextPanel::setText(const std::string& text)
{
    _text->setText(text);
    _text->setDrawMode(osgText::Text::TEXT);
    _text->setAlignment(osgText::Text::LEFT_TOP);
    const osg::BoundingBox& box = _text->getBoundingBox();
    const float width = box.valid() ? box.xMax() - box.xMin() : 0.0f;
    const float height = box.valid() ? box.yMax() - box.yMin() : 0.0f;
    _background->setSize(width + _marginLeft + _marginRight, height + _marginTop + _marginBottom);
    _text->setPosition(osg::Vec3(_marginLeft, -_marginTop, -0.5f));
}

std::string TextPanel::getText() const
{
    return _text->getText().createUTF8EncodedString();
}

void TextPanel::setAlignment(int placement)
{
    _alignment = placement;
    const float w = _background->getWidth();
    const float h = _background->getHeight();
    float dx = 0.0f;
    float dy = 0.0f;
    switch (placement) {
    case 1:
        dx = w / 2;
        break;
    case 2:
        dx = w;
        break;
    case 3:
        dy = h / 2;
        break;
    case 4:
        dx = w / 2;
        dy = h / 2;
        break;
    case 5:
        dx = w;
        dy = h / 2;
        break;
    case 6:
        dy = h;
        break;
    case 7:
        dx = w / 2;
        dy = h;
        break;
    case 8:
        dx = w;
        dy = h;
        break;
    default:
        break;
    }
    setMatrix(osg::Matrix::translate(-dx, dy, 0.0f));
}

} // namespace Orvana
