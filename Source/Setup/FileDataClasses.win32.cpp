#include "FileDataClasses.h"

#include "LxResources.h"
#include "SetupProject.h"

bool TFileDataList::LoadFromModule(void* Module) {
    const TResourceStream Block(Module, FileDataResName);
    LoadFromBlock(Block.Memory(), static_cast<size_t>(Block.MemorySize()));
    return true;
}
