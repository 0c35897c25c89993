#pragma once

#include <functional>

#include <osg/Referenced>

#include "osgART/Export.h"

namespace osgART
{

// A named parameter of a tracker, reached by name and cast to its typed form.
class OSGART_EXPORT Field : public osg::Referenced
{
protected:
    ~Field() override = default;
};

template <typename T> class TypedField : public Field
{
public:
    using Getter = std::function<T()>;
    using Setter = std::function<void(const T&)>;

    TypedField(Getter getter, Setter setter) : _getter(std::move(getter)), _setter(std::move(setter)) {}

    T get() const { return _getter(); }
    void set(const T& value)
    {
        if (_setter)
            _setter(value);
    }

private:
    Getter _getter;
    Setter _setter;
};

} // namespace osgART
