#include "LxExceptions.h"
#include "LxStrUtils.h"
#include "LxSysUtils.h"
#include "SetupProject.h"

WideString TSetupVar::ExpandIn(WideStringView Text) const {
    if (!Checked || VarName.empty()) return WideString(Text);
    return StringReplace(Text, VarName, VarValue, rfReplaceAll | rfIgnoreCase);
}

TSetupVarList::TSetupVarList() {
    AddDefaultVars();
}

int TSetupVarList::IndexOf(WideStringView Name) const {
    for (int I = 0; I < Count(); ++I)
        if (SameText(Items(I)->VarName, Name)) return I;
    return -1;
}

TSetupVar* TSetupVarList::Find(WideStringView Name) const {
    const int Index = IndexOf(Name);
    return Index < 0 ? nullptr : Items(Index);
}

TSetupVar* TSetupVarList::Add(WideStringView Name) {
    if (TSetupVar* Existing = Find(Name)) return Existing;
    auto Var = std::make_unique<TSetupVar>();
    Var->VarName = WideString(Name);
    return TTypedObjectList::Add(std::move(Var));
}

void TSetupVarList::AddDefaultVars() {
    const struct {
        const char16_t* Name;
        WideString Value;
    } Defaults[] = {
        {u"{AppTitle}", u"AppTitle"}, {u"{Version}", u"1.0.0.0"},
        {u"{MainExeName}", u"MyApp"}, {u"{GUID}", TLxStrfn::NewGUIDString()},
        {u"{AppID}", u"10000"},       {u"{Copyright}", u""},
        {u"{CompanyName}", u""},      {u"{CompanyUrl}", u""},
        {u"{DefaultFolder}", u""},    {u"{Condition}", u""},
    };
    for (const auto& Default : Defaults) {
        TSetupVar* Var = Add(Default.Name);
        Var->VarValue = Default.Value;
        Var->Checked = true;
    }
}

WideString TSetupVarList::ExpandVars(WideStringView Text) const {
    WideString Result(Text);
    for (int I = 0; I < Count(); ++I) {
        const TSetupVar& Var = *Items(I);
        // Values that name later variables several times would grow a text exponentially:
        // the length is counted before the text is built.
        if (Var.Checked && !Var.VarName.empty() && Var.VarValue.size() > Var.VarName.size()) {
            size_t Length = Result.size();
            for (size_t At = FindText(Result, Var.VarName); At != WideString::npos;
                 At = FindText(Result, Var.VarName, At + Var.VarName.size()))
                if ((Length += Var.VarValue.size() - Var.VarName.size()) > MaxExpandedLength)
                    throw EConvertError(u"the variables make a text longer than 65536 characters");
        }
        Result = Var.ExpandIn(Result);
    }
    return Result;
}

void TBaseConditionItem::ExpandVars(const TSetupVarList& Vars) {
    Condition = Vars.ExpandVars(Condition);
}

namespace {

template <class... TTexts>
void ExpandAll(const TSetupVarList& Vars, TTexts&... Texts) {
    ((Texts = Vars.ExpandVars(Texts)), ...);
}

} // namespace

void TSetupFile::ExpandVars(const TSetupVarList& Vars) {
    TBaseConditionItem::ExpandVars(Vars);
    ExpandAll(Vars, DestDir, SourceMask, SourcePath, NewFileName);
}

void TSetupReg::ExpandVars(const TSetupVarList& Vars) {
    TBaseConditionItem::ExpandVars(Vars);
    ExpandAll(Vars, SubKey, ValueData, ValueName);
}

void TSetupRun::ExpandVars(const TSetupVarList& Vars) {
    TBaseConditionItem::ExpandVars(Vars);
    ExpandAll(Vars, Params, FileName, WorkDir);
}

void TSetupShortCut::ExpandVars(const TSetupVarList& Vars) {
    TBaseConditionItem::ExpandVars(Vars);
    ExpandAll(Vars, DstFile, IconFile, Name, SaveDir, WorkDir);
}

void TSetupSwiper::ExpandVars(const TSetupVarList& Vars) {
    TBaseConditionItem::ExpandVars(Vars);
    ExpandAll(Vars, FileName);
}
