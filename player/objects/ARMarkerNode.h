#pragma once

#include <map>
#include <vector>

#include <osg/Group>
#include <osg/observer_ptr>
#include <osg/ref_ptr>

namespace osg
{
class MatrixTransform;
class Sequence;
class Switch;
} // namespace osg

namespace osgART
{
class Marker;
}

namespace Orvana
{

class ARSceneConventions;
class ARClippingManager;
class ARObject;
class ARTTransformPlus;
class MarkerSettings;

// Everything shown on one tracked marker:
//   tracked transform > clip switch > content group > content transform > scale transform >
//   fit transform > layers switch > (layers group | sequence) > layer groups > objects;
// the clip switch's second child, the clipped group, holds the clipping manager when one is set.
class ARMarkerNode : public osg::Group
{
public:
    // settings may be null (markers from the tracker's own patterns file); recordIndex is the
    // record's position in the markers file, -1 without one.
    ARMarkerNode(osgART::Marker* marker, int id, MarkerSettings* settings, int recordIndex,
                 ARSceneConventions* application);

    bool addObject(ARObject* object, int layer);

    void setupLayers();
    void setupSequence();
    void setSequenceUsage();
    void toggleSequencePlay();

    void setLayerVisible(int layer, bool visible);
    void toggleLayer(int layer);
    // Steps to the next (or previous) layer and shows only that one. From a current layer that is
    // not one of the marker's, both start at the first layer.
    void nextLayer(bool next);
    int getCurrentLayer() const { return _currentLayer; }
    bool isLayerVisible(int layer) const;
    osg::Group* getLayerGroup(int layer) const;
    std::vector<int> getLayerIds() const;

    bool isShadowed() const;

    // The manager takes the content transform as its child; null gives the content back.
    void setClippingManager(ARClippingManager* manager);
    ARClippingManager* getClippingManager() const { return _clippingManager.get(); }
    void setClippingVisible(bool visible);

    void changeContentScale(float delta);
    float getContentScale() const;
    void fitContent();

    void setFrozen(bool frozen);
    void setTransitions(bool enabled);
    void setSmoothing(float factor);
    // The rotational factor; -1 when the marker has no filter.
    float getSmoothing() const;
    void resetSmoothing();
    void increaseSmoothing(float step);
    void decreaseSmoothing(float step);
    void enableSmoothing(bool enable);

    osgART::Marker* getMarker() const;
    int getId() const { return _id; }
    int getRecordIndex() const { return _recordIndex; }
    MarkerSettings* getSettings() const { return _settings; }
    const std::vector<ARObject*>& getObjects() const { return _objects; }

    ARTTransformPlus* getTrackedTransform() const { return _trackedTransform.get(); }
    osg::MatrixTransform* getContentTransform() const { return _contentTransform.get(); }
    osg::MatrixTransform* getScaleTransform() const { return _scaleTransform.get(); }
    osg::MatrixTransform* getFitTransform() const { return _fitTransform.get(); }
    osg::Switch* getLayersSwitch() const { return _layersSwitch.get(); }
    osg::Group* getLayersGroup() const { return _layersGroup.get(); }
    osg::Sequence* getSequence() const { return _sequence.get(); }
    osg::Switch* getClipSwitch() const { return _clipSwitch.get(); }

protected:
    ~ARMarkerNode() override;

private:
    void computeReferenceSystem();
    void placeLights();
    void createLayer(int layer, double seconds);

    osg::ref_ptr<ARTTransformPlus> _trackedTransform;
    osg::ref_ptr<osg::MatrixTransform> _contentTransform;
    osg::ref_ptr<osg::MatrixTransform> _scaleTransform;
    osg::ref_ptr<osg::MatrixTransform> _fitTransform;
    osg::ref_ptr<osg::Switch> _layersSwitch;
    osg::ref_ptr<osg::Group> _layersGroup;
    osg::ref_ptr<osg::Sequence> _sequence;
    std::map<int, osg::ref_ptr<osg::Group>> _layerGroups;
    std::map<int, bool> _layerVisible;
    int _currentLayer = 0;
    std::map<int, double> _layerTimes;
    osg::ref_ptr<osg::Switch> _clipSwitch;
    osg::ref_ptr<osg::Group> _contentGroup;
    osg::ref_ptr<osg::Group> _clippedGroup;
    osg::ref_ptr<ARClippingManager> _clippingManager;
    int _id;
    int _recordIndex;
    // A record of the application's markers file. The application loads that file before it makes
    // the marker nodes and never replaces it afterwards, so the record outlives the node.
    MarkerSettings* _settings;
    std::vector<ARObject*> _objects;
    // The application, which outlives its marker nodes.
    ARSceneConventions* _application;
};

} // namespace Orvana
