#include "PeResources.h"

#include "LxStrUtils.h"

#include <algorithm>

TResourceKey TResourceKey::FromName(WideStringView Name) {
    return {0, WideUpperCase(Name)};
}

const TResource* TResourceTree::Find(const TResourceKey& Type, const TResourceKey& Name) const {
    // Several languages may share a name: the lowest language wins, whatever the list order.
    const TResource* Best = nullptr;
    for (const TResource& Item : Items)
        if (Item.Type == Type && Item.Name == Name && (!Best || Item.Language < Best->Language))
            Best = &Item;
    return Best;
}

void TResourceTree::Set(const TResourceKey& Type, const TResourceKey& Name, uint16_t Language,
                        std::vector<uint8_t> Data) {
    Remove(Type, Name);
    TResource Item;
    Item.Type = Type;
    Item.Name = Name;
    Item.Language = Language;
    Item.Data = std::move(Data);
    Items.push_back(std::move(Item));
}

void TResourceTree::RemoveType(const TResourceKey& Type) {
    std::erase_if(Items, [&](const TResource& Item) { return Item.Type == Type; });
}

void TResourceTree::Remove(const TResourceKey& Type, const TResourceKey& Name) {
    std::erase_if(Items,
                  [&](const TResource& Item) { return Item.Type == Type && Item.Name == Name; });
}
