// Control: what a host calls on a control beyond its dispatch interface: the site,
// events freezing, the extent, persistence and the property browser's lists.
//
// A control object offers, through queryInterface, Control, Dispatch (its properties,
// methods) and ConnectionPoint (its events). The host's order of use:
//   setSite(site) -> initNew() or load(stored) -> calls and events ->
//   save(store) when the design is saved -> setSite(nullptr) -> release.
// Called only in the owner's thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/component/container_site.h"
#include "platform/component/property_exchange.h"
#include "platform/component/type_info.h"
#include "platform/component/unknown.h"

namespace vort::component {

// A control's size in HIMETRIC (1/100 mm).
struct Extent {
    int32_t width = 1000;
    int32_t height = 1000;
    friend bool operator==(const Extent&, const Extent&) = default;
};

class Control : public Unknown {
public:
    static constexpr Guid kIid = Guid::literal("{904BF36C-E1D7-49FA-84FD-29E28B12FEE9}");

    // Gives the control its container (null: none; the control then behaves as in run
    // mode and notifies nobody). The site must stay alive until it is replaced.
    virtual void setSite(ContainerSite* site) = 0;
    virtual ContainerSite* site() = 0;
    // The host says that ambient property dispid (kDispidAmbientUserMode...) changed.
    virtual void ambientPropertyChanged(int32_t dispid) = 0;

    // freeze true adds one to the freeze count, false takes one off (not below 0).
    // While the count is above 0 the control's events are dropped, not queued.
    virtual void freezeEvents(bool freeze) = 0;

    virtual Extent extent() = 0;
    // Sets the extent (both parts > 0, else kInvalidArg) and marks the control modified.
    virtual int32_t setExtent(Extent extent) = 0;

    // Gives every persisted property its default (a newly placed control). kOk.
    virtual int32_t initNew() = 0;
    // Loads the persisted properties from in. kOk; or, when in is damaged, kInvalidData
    // with every property at its default and in.error() saying what was wrong.
    // Afterwards the control counts as not modified.
    virtual int32_t load(PropertyExchange& in) = 0;
    // Saves the persisted properties into out (a saving exchange). clearModified: the
    // store is now the design (a "save"), not a copy. kOk, or the writer's failure.
    virtual int32_t save(PropertyExchange& out, bool clearModified) = 0;
    // Whether the persisted state changed since the last initNew/load/clearing save.
    virtual bool isModified() = 0;

    // The predefined strings the property browser offers for dispid, or nullptr.
    virtual const PropertyBrowserList* browserList(int32_t dispid) = 0;
    // The text the property browser shows for the current value of dispid into *out:
    // kOk; kDispMemberNotFound when dispid has no list; a failed read's code otherwise.
    virtual int32_t displayString(int32_t dispid, std::u16string* out) = 0;

    // The control's type library (interfaces, enumerations, coclass), or nullptr.
    virtual const TypeLibrary* typeLibrary() = 0;
    // The CLSIDs of the property page classes that edit this control (maybe none).
    virtual std::vector<Guid> propertyPages() = 0;

protected:
    ~Control() = default;
};

} // namespace vort::component
