#pragma once

#include "LxTypeInfo.h"
#include "LxTypes.h"

#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <vector>

class TStream;
class TXmlNode;

// Root of everything with published properties.
class TPersistent {
public:
    virtual ~TPersistent() = default;
    static const TClassInfo& StaticClassInfo();
    virtual const TClassInfo& ClassInfo() const { return StaticClassInfo(); }
    WideString ClassName() const { return ClassInfo().ClassName; }

    // Raises "Cannot assign a %s to a %s" for a source it cannot copy.
    virtual void Assign(const TPersistent* Source);

protected:
    virtual void AssignTo(TPersistent* Dest) const;
};

// Saves, loads, copies and compares itself by walking its property table.
class TXmlPersistent : public TPersistent {
    LX_PERSISTENT_CLASS(TXmlPersistent)
public:
    void Assign(const TPersistent* Source) override;
    // Only the node walks differ between classes; the rest works through the property table
    // and stays out of programs that never call it.
    virtual void LoadFromNode(TXmlNode* Node, int Context = 0);
    virtual void SaveToNode(TXmlNode* Node, int Context = 0) const;
    std::unique_ptr<TXmlPersistent> Clone() const;
    void AssignByXml(const TXmlPersistent* Source);
    bool IsEqual(const TXmlPersistent* Other) const;
    void LoadFromFile(WideStringView FileName, int Context = 0);
    void LoadFromStream(TStream& Stream, int Context = 0);
    void SaveToFile(WideStringView FileName, int Context = 0) const;
    void SaveToStream(TStream& Stream, int Context = 0) const;

    // The JSON form lives in its own unit so that programs which never use it do not carry it.
    void LoadFromJson(const nlohmann::ordered_json& Json, int Context = 0);
    void SaveToJson(nlohmann::ordered_json& Json, int Context = 0) const;
    void SaveToJsonStream(TStream& Stream, int Context = 0) const;
};

// An owning list of persistent items, written inside an "Items" element and rebuilt
// through CreateItem.
class TXmlObjectList : public TXmlPersistent {
    LX_PERSISTENT_CLASS(TXmlObjectList)
public:
    void Assign(const TPersistent* Source) override;
    void LoadFromNode(TXmlNode* Node, int Context = 0) override;
    void SaveToNode(TXmlNode* Node, int Context = 0) const override;

    // Gives a new item for a stored class name, or none to skip the element.
    virtual std::unique_ptr<TXmlPersistent> CreateItem(WideStringView ClassName);
    virtual void Clear();
    bool ItemsEqual(const TXmlObjectList* Other) const;

    TXmlPersistent* Add(std::unique_ptr<TXmlPersistent> Item);
    int Count() const { return static_cast<int>(FItems.size()); }
    // A negative position counts from the end: -1 is the last item.
    TXmlPersistent* Items(int Index) const;
    void Delete(int Index);

private:
    std::vector<std::unique_ptr<TXmlPersistent>> FItems;
};

// A list whose items are all of one class, whatever class name is stored.
template <class TItem, class TBase = TXmlObjectList>
class TTypedObjectList : public TBase {
public:
    std::unique_ptr<TXmlPersistent> CreateItem(WideStringView) override {
        return std::make_unique<TItem>();
    }
    TItem* Items(int Index) const { return static_cast<TItem*>(TBase::Items(Index)); }
    TItem* Add(std::unique_ptr<TItem> Item) {
        return static_cast<TItem*>(TBase::Add(std::move(Item)));
    }
};

// The property walks, also for sub-objects that are not TXmlPersistent.
void SavePropsToNode(const TPersistent& Instance, TXmlNode* Node, int Context);
void LoadPropsFromNode(TPersistent& Instance, TXmlNode* Node, int Context);

// Calls Visit for every property of a class, base classes first.
template <class TVisit>
void ForEachProp(const TClassInfo& Info, TVisit&& Visit) {
    if (Info.Parent) ForEachProp(Info.Parent(), Visit);
    for (size_t I = 0; I < Info.PropCount; ++I)
        Visit(Info.Props[I]);
}

const TPropInfo* FindProp(const TClassInfo& Info, WideStringView Name);

// Scalar values and their text forms, shared by the XML, JSON and copy walks.
namespace LxProps {
int64_t GetOrd(TPersistent& Instance, const TPropInfo& Prop);
void SetOrd(TPersistent& Instance, const TPropInfo& Prop, int64_t Value);
WideString EnumName(const TTypeInfo& Type, int64_t Ordinal);
// Ordinal of an identifier compared without regard to ASCII case, or -1.
int EnumValue(const TTypeInfo& Type, WideStringView Name);
WideString SetToString(const TTypeInfo& Type, uint32_t Bits);
uint32_t StringToSet(const TTypeInfo& Type, WideStringView Text);
// The value as stored in an attribute or a JSON string member.
WideString GetText(TPersistent& Instance, const TPropInfo& Prop);
// Converts a stored text; texts that do not convert leave the property as it was.
void SetText(TPersistent& Instance, const TPropInfo& Prop, WideStringView Text);
bool IsOrdinalKind(TTypeKind Kind);
// Raises the assertion failure for kinds that cannot be persisted.
void CheckSupported(const TPropInfo& Prop);
} // namespace LxProps
