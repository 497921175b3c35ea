#include "SetupProject.h"

#include "LxStrUtils.h"
#include "LxSysUtils.h"

uint32_t RootKeyToHKEY(TRegRootKey RootKey) {
    switch (RootKey) {
    case rrkClassesRoot:
        return HKEY_CLASSES_ROOT_VALUE;
    case rrkLocalMachine:
        return HKEY_LOCAL_MACHINE_VALUE;
    case rrkUsers:
        return HKEY_USERS_VALUE;
    case rrkCurrentConfig:
        return HKEY_CURRENT_CONFIG_VALUE;
    default:
        return HKEY_CURRENT_USER_VALUE;
    }
}

WideString UninstallKeyPath(WideStringView Guid, WideStringView Suffix) {
    return FormatText(u"%s\\%s%s", u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", Guid,
                      Suffix);
}

const TClassInfo& TSetupBaseInfo::StaticClassInfo() {
    using T = TSetupBaseInfo;
    static constexpr TPropInfo Props[] = {
        Published<&T::WinVersion>(u"WinVersion"),
        Published<&T::AllowModify>(u"AllowModify"),
        Published<&T::AppTitle>(u"AppTitle"),
        Published<&T::BuildMiniSetup>(u"BuildMiniSetup"),
        Published<&T::CompanyName>(u"CompanyName"),
        Published<&T::CompanyUrl>(u"CompanyUrl"),
        Published<&T::Condition>(u"Condition"),
        Published<&T::DefInstallPath>(u"DefInstallPath"),
        Published<&T::FullDownloadUrl>(u"FullDownloadUrl"),
        Published<&T::FullSetupFile>(u"FullSetupFile"),
        Published<&T::GotoUrl>(u"GotoUrl"),
        Published<&T::GotoUrlMode>(u"GotoUrlMode"),
        Published<&T::GUID>(u"GUID"),
        Published<&T::IconFile>(u"IconFile"),
        Published<&T::IconResID>(u"IconResID"),
        Published<&T::InstallFileDescription>(u"InstallFileDescription"),
        Published<&T::LegalCopyright>(u"LegalCopyright"),
        Published<&T::LicenseFile>(u"LicenseFile"),
        Published<&T::LicenseResID>(u"LicenseResID"),
        Published<&T::MiniSetupFile>(u"MiniSetupFile"),
        Published<&T::ProductName>(u"ProductName"),
        PublishedAddition<&T::ScaleWithDisplay>(u"ScaleWithDisplay"),
        Published<&T::UninstallFileDescription>(u"UninstallFileDescription"),
        Published<&T::Version>(u"Version"),
        Published<&T::MainFormColor>(u"MainFormColor"),
    };
    static constexpr TClassInfo Info =
        MakeClassInfo<T>(u"TSetupBaseInfo", &TXmlPersistent::StaticClassInfo, Props);
    return Info;
}

TSetupBaseInfo::TSetupBaseInfo() : GUID(TLxStrfn::NewGUIDString()) {}

TSetupBaseInfo::TVersionNumbers TSetupBaseInfo::GetVersionNumbers() const {
    TVersionNumbers Numbers;
    int32_t* const Results[] = {&Numbers.Major, &Numbers.Minor, &Numbers.Release, &Numbers.Build};
    size_t Start = 0;
    for (int32_t* Result : Results) {
        if (Start > Version.size()) break;
        size_t End = Version.find_first_of(u". ", Start);
        if (End == WideString::npos) End = Version.size();
        const WideStringView Part = WideStringView(Version).substr(Start, End - Start);
        if (!TryStrToInt(Part, *Result)) {
            // The first part that is no number ends the reading with its leading digits.
            int32_t Leading = 0;
            for (size_t I = 0; I < Part.size() && Part[I] >= u'0' && Part[I] <= u'9' &&
                               Leading <= (INT32_MAX - 9) / 10;
                 ++I)
                Leading = Leading * 10 + (Part[I] - u'0');
            *Result = Leading;
            break;
        }
        Start = End + 1;
    }
    return Numbers;
}

const TClassInfo& TBaseSetupItem::StaticClassInfo() {
    static constexpr TPropInfo Props[] = {Published<&TBaseSetupItem::Checked>(u"Checked")};
    static constexpr TClassInfo Info =
        MakeClassInfo<TBaseSetupItem>(u"TBaseSetupItem", &TXmlPersistent::StaticClassInfo, Props);
    return Info;
}

const TClassInfo& TSetupVar::StaticClassInfo() {
    static constexpr TPropInfo Props[] = {
        Published<&TSetupVar::VarName>(u"VarName"),
        Published<&TSetupVar::VarValue>(u"VarValue"),
    };
    static constexpr TClassInfo Info =
        MakeClassInfo<TSetupVar>(u"TSetupVar", &TBaseSetupItem::StaticClassInfo, Props);
    return Info;
}

const TClassInfo& TBaseConditionItem::StaticClassInfo() {
    static constexpr TPropInfo Props[] = {Published<&TBaseConditionItem::Condition>(u"Condition")};
    static constexpr TClassInfo Info = MakeClassInfo<TBaseConditionItem>(
        u"TBaseConditionItem", &TBaseSetupItem::StaticClassInfo, Props);
    return Info;
}

const TClassInfo& TSetupFile::StaticClassInfo() {
    using T = TSetupFile;
    static constexpr TPropInfo Props[] = {
        Published<&T::DestDir>(u"DestDir"),
        Published<&T::FileBytes>(u"FileBytes"),
        Published<&T::IncludeSubPath>(u"IncludeSubPath"),
        Published<&T::LastWriteDate>(u"LastWriteDate"),
        Published<&T::ResID>(u"ResID"),
        Published<&T::SourceMask>(u"SourceMask"),
        Published<&T::SourcePath>(u"SourcePath"),
        Published<&T::NewFileName>(u"NewFileName"),
    };
    static constexpr TClassInfo Info =
        MakeClassInfo<T>(u"TSetupFile", &TBaseConditionItem::StaticClassInfo, Props);
    return Info;
}

const TClassInfo& TSetupReg::StaticClassInfo() {
    using T = TSetupReg;
    static constexpr TPropInfo Props[] = {
        Published<&T::RootKey>(u"RootKey"),     Published<&T::SubKey>(u"SubKey"),
        Published<&T::ValueData>(u"ValueData"), Published<&T::ValueName>(u"ValueName"),
        Published<&T::ValueType>(u"ValueType"),
    };
    static constexpr TClassInfo Info =
        MakeClassInfo<T>(u"TSetupReg", &TBaseConditionItem::StaticClassInfo, Props);
    return Info;
}

const TClassInfo& TSetupShortCut::StaticClassInfo() {
    using T = TSetupShortCut;
    static constexpr TPropInfo Props[] = {
        Published<&T::DstFile>(u"DstFile"), Published<&T::IconFile>(u"IconFile"),
        Published<&T::Name>(u"Name"),       Published<&T::SaveDir>(u"SaveDir"),
        Published<&T::WorkDir>(u"WorkDir"),
    };
    static constexpr TClassInfo Info =
        MakeClassInfo<T>(u"TSetupShortCut", &TBaseConditionItem::StaticClassInfo, Props);
    return Info;
}

const TClassInfo& TSetupRun::StaticClassInfo() {
    using T = TSetupRun;
    static constexpr TPropInfo Props[] = {
        Published<&T::FileName>(u"FileName"),
        Published<&T::Params>(u"Params"),
        Published<&T::Wait>(u"Wait"),
        Published<&T::WorkDir>(u"WorkDir"),
    };
    static constexpr TClassInfo Info =
        MakeClassInfo<T>(u"TSetupRun", &TBaseConditionItem::StaticClassInfo, Props);
    return Info;
}

const TClassInfo& TSetupSwiper::StaticClassInfo() {
    static constexpr TPropInfo Props[] = {
        Published<&TSetupSwiper::FileName>(u"FileName"),
        Published<&TSetupSwiper::ResID>(u"ResID"),
    };
    static constexpr TClassInfo Info =
        MakeClassInfo<TSetupSwiper>(u"TSetupSwiper", &TBaseConditionItem::StaticClassInfo, Props);
    return Info;
}

#define LX_LIST_CLASS_INFO(Class, Parent)                                                          \
    const TClassInfo& Class::StaticClassInfo() {                                                   \
        static constexpr TClassInfo Info =                                                         \
            MakeClassInfo<Class>(u## #Class, &Parent::StaticClassInfo);                            \
        return Info;                                                                               \
    }

LX_LIST_CLASS_INFO(TSetupItemList, TXmlObjectList)
LX_LIST_CLASS_INFO(TSetupFileList, TSetupItemList)
LX_LIST_CLASS_INFO(TSetupRegList, TSetupItemList)
LX_LIST_CLASS_INFO(TSetupRunList, TSetupItemList)
LX_LIST_CLASS_INFO(TSetupShortCutList, TSetupItemList)
LX_LIST_CLASS_INFO(TSetupSwiperList, TSetupItemList)
LX_LIST_CLASS_INFO(TSetupVarList, TSetupItemList)

int TSetupRunList::NoWaitCount() const {
    int Result = 0;
    for (int I = 0; I < Count(); ++I)
        if (!Items(I)->Wait) ++Result;
    return Result;
}

const TClassInfo& TSetupScript::StaticClassInfo() {
    using T = TSetupScript;
    static constexpr TPropInfo Props[] = {
        Published<&T::FBaseInfo>(u"BaseInfo"),         Published<&T::FFileList>(u"FileList"),
        Published<&T::FRegList>(u"RegList"),           Published<&T::FRunList>(u"RunList"),
        Published<&T::FShortCutList>(u"ShortCutList"), Published<&T::FSwiperList>(u"SwiperList"),
        Published<&T::FVarList>(u"VarList"),
    };
    static constexpr TClassInfo Info =
        MakeClassInfo<T>(u"TSetupScript", &TXmlPersistent::StaticClassInfo, Props);
    return Info;
}

TSetupScript::TSetupScript()
    : FBaseInfo(std::make_unique<TSetupBaseInfo>()), FFileList(std::make_unique<TSetupFileList>()),
      FRegList(std::make_unique<TSetupRegList>()), FRunList(std::make_unique<TSetupRunList>()),
      FShortCutList(std::make_unique<TSetupShortCutList>()),
      FSwiperList(std::make_unique<TSetupSwiperList>()),
      FVarList(std::make_unique<TSetupVarList>()) {}
