#pragma once

#include "LxPersistent.h"

// Names of the package resources (RCDATA), compared without regard to case.
inline constexpr WideStringView FullSetupScriptResName = u"{54682D66-DEF6-4E5B-8AB5-70FFDF2C0E3A}";
inline constexpr WideStringView MiniSetupScriptResName = u"{F907FF9D-0131-45D9-9469-A2CD78FB4793}";
inline constexpr WideStringView FileDataResName = u"{24B4534B-E580-4F42-BEAB-A2818FDE92C0}";
// In a mini installer: the SHA-256 of the full installer it may install, 32 raw bytes.
inline constexpr WideStringView FullSetupDigestResName = u"{8E2F4C61-3B7A-4D95-A0C8-5F1E9D2B7A43}";

enum TWinVersionEnum : uint8_t { wveWinXPOrHigher, wveWin7OrHigher };
LX_ENUM_TYPE(TWinVersionEnum, u"wveWinXPOrHigher", u"wveWin7OrHigher")

enum TGotoUrlMode : uint8_t { gumSilent, gumByBrowser };
LX_ENUM_TYPE(TGotoUrlMode, u"gumSilent", u"gumByBrowser")

enum TRegValueType : uint8_t { rvtString, rvtDWord };
LX_ENUM_TYPE(TRegValueType, u"rvtString", u"rvtDWord")

enum TRegRootKey : uint8_t {
    rrkClassesRoot,
    rrkCurrentUser,
    rrkLocalMachine,
    rrkUsers,
    rrkCurrentConfig
};
LX_ENUM_TYPE(TRegRootKey, u"rrkClassesRoot", u"rrkCurrentUser", u"rrkLocalMachine", u"rrkUsers",
             u"rrkCurrentConfig")

// The predefined registry keys, without the system headers.
inline constexpr uint32_t HKEY_CLASSES_ROOT_VALUE = 0x80000000u;
inline constexpr uint32_t HKEY_CURRENT_USER_VALUE = 0x80000001u;
inline constexpr uint32_t HKEY_LOCAL_MACHINE_VALUE = 0x80000002u;
inline constexpr uint32_t HKEY_USERS_VALUE = 0x80000003u;
inline constexpr uint32_t HKEY_CURRENT_CONFIG_VALUE = 0x80000005u;
uint32_t RootKeyToHKEY(TRegRootKey RootKey);

// The product's entry in the system's list of installed programs, under HKEY_LOCAL_MACHINE:
// this installer's key ends in "_vm", another installer's in "_is1".
inline constexpr WideStringView OwnUninstallKeySuffix = u"_vm";
inline constexpr WideStringView OtherUninstallKeySuffix = u"_is1";
WideString UninstallKeyPath(WideStringView Guid, WideStringView Suffix);

class TSetupVarList;

class TSetupBaseInfo : public TXmlPersistent {
    LX_PERSISTENT_CLASS(TSetupBaseInfo)
public:
    TSetupBaseInfo();

    TWinVersionEnum WinVersion = wveWinXPOrHigher;
    bool AllowModify = false;
    WideString AppTitle;
    bool BuildMiniSetup = false;
    WideString CompanyName;
    WideString CompanyUrl;
    WideString Condition;
    WideString DefInstallPath;
    WideString FullDownloadUrl;
    WideString FullSetupFile;
    WideString GotoUrl;
    TGotoUrlMode GotoUrlMode = gumSilent;
    WideString GUID;
    WideString IconFile;
    WideString IconResID;
    WideString InstallFileDescription;
    WideString LegalCopyright;
    WideString LicenseFile;
    WideString LicenseResID;
    WideString MiniSetupFile;
    WideString ProductName;
    // The windows scale with the display's DPI; otherwise every size is in device pixels.
    bool ScaleWithDisplay = false;
    WideString UninstallFileDescription;
    WideString Version;
    int32_t MainFormColor = 0xFF9900; // 0x00BBGGRR

    struct TVersionNumbers {
        int32_t Major = 0, Minor = 0, Release = 0, Build = 0;
    };
    TVersionNumbers GetVersionNumbers() const;
};

class TBaseSetupItem : public TXmlPersistent {
    LX_PERSISTENT_CLASS(TBaseSetupItem)
public:
    bool Checked = true;
};

class TSetupVar : public TBaseSetupItem {
    LX_PERSISTENT_CLASS(TSetupVar)
public:
    WideString VarName; // with its braces, for example "{AppTitle}"
    WideString VarValue;

    // Every occurrence of VarName, ignoring case, replaced by VarValue; unchanged when disabled.
    WideString ExpandIn(WideStringView Text) const;
};

class TBaseConditionItem : public TBaseSetupItem {
    LX_PERSISTENT_CLASS(TBaseConditionItem)
public:
    WideString Condition;

    // Substitutes the script's variables into the item's texts, in place.
    virtual void ExpandVars(const TSetupVarList& Vars);
};

class TSetupFile : public TBaseConditionItem {
    LX_PERSISTENT_CLASS(TSetupFile)
public:
    WideString DestDir;
    int32_t FileBytes = 0;
    bool IncludeSubPath = false;
    TDateTime LastWriteDate = 0;
    WideString ResID;
    WideString SourceMask;
    WideString SourcePath;
    WideString NewFileName;

    void ExpandVars(const TSetupVarList& Vars) override;
};

class TSetupReg : public TBaseConditionItem {
    LX_PERSISTENT_CLASS(TSetupReg)
public:
    TRegRootKey RootKey = rrkClassesRoot;
    WideString SubKey;
    WideString ValueData;
    WideString ValueName;
    TRegValueType ValueType = rvtString;

    void ExpandVars(const TSetupVarList& Vars) override;
};

class TSetupShortCut : public TBaseConditionItem {
    LX_PERSISTENT_CLASS(TSetupShortCut)
public:
    WideString DstFile;
    WideString IconFile;
    WideString Name; // without ".lnk"
    WideString SaveDir;
    WideString WorkDir;

    void ExpandVars(const TSetupVarList& Vars) override;
};

class TSetupRun : public TBaseConditionItem {
    LX_PERSISTENT_CLASS(TSetupRun)
public:
    WideString FileName;
    WideString Params;
    bool Wait = false;
    WideString WorkDir;

    void ExpandVars(const TSetupVarList& Vars) override;
};

class TSetupSwiper : public TBaseConditionItem {
    LX_PERSISTENT_CLASS(TSetupSwiper)
public:
    WideString FileName;
    WideString ResID;

    void ExpandVars(const TSetupVarList& Vars) override;
};

class TSetupItemList : public TXmlObjectList {
    LX_PERSISTENT_CLASS(TSetupItemList)
};

class TSetupFileList : public TTypedObjectList<TSetupFile, TSetupItemList> {
    LX_PERSISTENT_CLASS(TSetupFileList)
};

class TSetupRegList : public TTypedObjectList<TSetupReg, TSetupItemList> {
    LX_PERSISTENT_CLASS(TSetupRegList)
};

class TSetupRunList : public TTypedObjectList<TSetupRun, TSetupItemList> {
    LX_PERSISTENT_CLASS(TSetupRunList)
public:
    // Programs started only after the finished installer closes.
    int NoWaitCount() const;
};

class TSetupShortCutList : public TTypedObjectList<TSetupShortCut, TSetupItemList> {
    LX_PERSISTENT_CLASS(TSetupShortCutList)
};

class TSetupSwiperList : public TTypedObjectList<TSetupSwiper, TSetupItemList> {
    LX_PERSISTENT_CLASS(TSetupSwiperList)
};

class TSetupVarList : public TTypedObjectList<TSetupVar, TSetupItemList> {
    LX_PERSISTENT_CLASS(TSetupVarList)
public:
    // Starts with the ten default variables.
    TSetupVarList();

    int IndexOf(WideStringView Name) const;
    TSetupVar* Find(WideStringView Name) const;
    // The variable of that name, or a new enabled one with an empty value.
    TSetupVar* Add(WideStringView Name);
    void AddDefaultVars();
    // Raises EConvertError instead of returning more than MaxExpandedLength characters.
    WideString ExpandVars(WideStringView Text) const;
    static constexpr size_t MaxExpandedLength = 65536;
};

class TSetupScript : public TXmlPersistent {
    LX_PERSISTENT_CLASS(TSetupScript)
public:
    TSetupScript();

    TSetupBaseInfo& BaseInfo() const { return *FBaseInfo; }
    TSetupFileList& FileList() const { return *FFileList; }
    TSetupRegList& RegList() const { return *FRegList; }
    TSetupRunList& RunList() const { return *FRunList; }
    TSetupShortCutList& ShortCutList() const { return *FShortCutList; }
    TSetupSwiperList& SwiperList() const { return *FSwiperList; }
    TSetupVarList& VarList() const { return *FVarList; }

private:
    std::unique_ptr<TSetupBaseInfo> FBaseInfo;
    std::unique_ptr<TSetupFileList> FFileList;
    std::unique_ptr<TSetupRegList> FRegList;
    std::unique_ptr<TSetupRunList> FRunList;
    std::unique_ptr<TSetupShortCutList> FShortCutList;
    std::unique_ptr<TSetupSwiperList> FSwiperList;
    std::unique_ptr<TSetupVarList> FVarList;
};
