#include "LxExceptions.h"
#include "LxStrUtils.h"
#include "MySetupUtils.h"
#include "ProjectRules.h"
#include "Suggestions.h"

namespace {

enum TExpansion : unsigned { Variables = 1, Constants = 2 };

// The texts the builder substitutes variables into (the items' ExpandVars) and those the
// installer passes through TSetupfn::ExpandConstant right before use; every other text is used
// as written, SourcePath and SourceMask by the builder.
struct TExpandedText {
    const char16_t* Class;
    const char16_t* Property;
    unsigned Expansion;
};
constexpr TExpandedText ExpandedTexts[] = {
    {u"TSetupBaseInfo", u"DefInstallPath", Constants},
    {u"TSetupFile", u"DestDir", Variables | Constants},
    {u"TSetupFile", u"SourcePath", Variables},
    {u"TSetupFile", u"SourceMask", Variables},
    {u"TSetupFile", u"NewFileName", Variables},
    {u"TSetupReg", u"SubKey", Variables | Constants},
    {u"TSetupReg", u"ValueName", Variables | Constants},
    {u"TSetupReg", u"ValueData", Variables | Constants},
    {u"TSetupRun", u"FileName", Variables | Constants},
    {u"TSetupRun", u"Params", Variables | Constants},
    {u"TSetupRun", u"WorkDir", Variables | Constants},
    {u"TSetupShortCut", u"DstFile", Variables | Constants},
    {u"TSetupShortCut", u"IconFile", Variables | Constants},
    {u"TSetupShortCut", u"Name", Variables | Constants},
    {u"TSetupShortCut", u"SaveDir", Variables | Constants},
    {u"TSetupShortCut", u"WorkDir", Variables | Constants},
};

// For suggestions; whether a name is a constant, the installer's own expansion decides.
const char16_t* const ConstantNames[] = {u"{pf}", u"{group}", u"{desktop}", u"{app}", u"{srcexe}"};

bool IsPathConstant(WideStringView Token) {
    return TSetupfn::ExpandConstant(Token) != Token;
}

bool IsNameChar(char16_t C, bool First) {
    return (C >= u'a' && C <= u'z') || (C >= u'A' && C <= u'Z') || C == u'_' || C >= 0x80 ||
           (!First && C >= u'0' && C <= u'9');
}

// Each "{name}" of the text; GUIDs and other braced texts are no placeholders.
std::vector<WideString> Placeholders(WideStringView Text) {
    std::vector<WideString> Result;
    for (size_t Open = Text.find(u'{'); Open != WideStringView::npos;
         Open = Text.find(u'{', Open + 1)) {
        const size_t Close = Text.find(u'}', Open + 1);
        if (Close == WideStringView::npos) break;
        bool Name = Close > Open + 1;
        for (size_t I = Open + 1; I < Close && Name; ++I)
            Name = IsNameChar(Text[I], I == Open + 1);
        if (Name) Result.emplace_back(Text.substr(Open, Close - Open + 1));
    }
    return Result;
}

WideString TextOf(const TPersistent& Object, WideStringView Property) {
    const TPropInfo* Prop = FindProp(Object.ClassInfo(), Property);
    LX_ASSERT(Prop != nullptr); // the table above names published properties only
    return LxProps::GetText(const_cast<TPersistent&>(Object), *Prop);
}

void CheckText(const TProjectFacts& F, const TPersistent& Object, WideStringView Property,
               unsigned Expansion) {
    const TSetupVarList& Vars = F.Script.VarList();
    const WideString Written = TextOf(Object, Property);
    const WideString Text = Expansion & Variables ? Vars.ExpandVars(Written) : Written;
    std::vector<WideString> Known;
    if (Expansion & Constants) Known.assign(std::begin(ConstantNames), std::end(ConstantNames));
    for (int I = 0; I < Vars.Count() && (Expansion & Variables); ++I)
        if (Vars.Items(I)->Checked) Known.push_back(Vars.Items(I)->VarName);
    for (const WideString& Token : Placeholders(Text)) {
        const bool Constant = IsPathConstant(Token);
        if (Constant && (Expansion & Constants)) continue;
        const TSourcePos Pos = F.Source.PosOfText(Object, Property, Token);
        const TSetupVar* Var = Vars.Find(Token);
        if (Var && !Var->Checked && (Expansion & Variables))
            F.Diagnostics.Warning(Pos, u"the variable '" + Token +
                                           u"' is disabled (Checked=\"False\"): the text keeps it "
                                           u"as written");
        else if (Var && !(Expansion & Variables))
            F.Diagnostics.Error(Pos, u"variables are not substituted in " + WideString(Property) +
                                         u": '" + Token + u"' stays as written");
        else if (Constant)
            F.Diagnostics.Error(Pos, u"'" + Token + u"' is no folder of the build machine: " +
                                         WideString(Property) + u" is not expanded");
        else
            F.Diagnostics.Error(
                Pos, u"unknown " +
                         WideString(Expansion & Constants ? u"constant or variable" : u"variable") +
                         u" '" + Token + u"'" + DidYouMean(Token, Known));
    }
}

void CheckVariables(const TProjectFacts& F) {
    const TSetupVarList& Vars = F.Script.VarList();
    for (int I = 0; I < Vars.Count(); ++I) {
        const TSetupVar& Var = *Vars.Items(I);
        const TSourcePos Pos = F.Source.PosOf(Var, u"VarName");
        if (Var.VarName.size() < 3 || Var.VarName.front() != u'{' || Var.VarName.back() != u'}')
            F.Diagnostics.Warning(Pos, u"the variable name '" + Var.VarName +
                                           u"' is not a name in braces: every '" + Var.VarName +
                                           u"' in the texts is replaced");
        for (int K = 0; K < I; ++K)
            if (SameText(Vars.Items(K)->VarName, Var.VarName)) {
                const TSourcePos First = F.Source.PosOf(*Vars.Items(K), u"VarName");
                F.Diagnostics.Warning(Pos, FormatText(u"the variable '%s' is defined twice; the "
                                                      u"first, at %d:%d, is the one used",
                                                      Var.VarName, First.Line, First.Column));
                break;
            }
    }
}

void CheckRegistryNumbers(const TProjectFacts& F) {
    const TSetupRegList& Items = F.Script.RegList();
    for (int I = 0; I < Items.Count(); ++I) {
        const TSetupReg& Item = *Items.Items(I);
        if (Item.ValueType != rvtDWord) continue;
        const WideString Data = F.Script.VarList().ExpandVars(Item.ValueData);
        int32_t Number;
        if (!TryStrToInt(Data, Number))
            F.Diagnostics.Error(
                F.Source.PosOf(Item, u"ValueData"),
                u"'" + Data +
                    u"' is not a DWORD number, and the installer stops with an "
                    u"error here: write it in decimal, or in hexadecimal after $, x "
                    u"or 0x");
    }
}

} // namespace

void CheckTexts(const TProjectFacts& F) {
    auto Visit = [&](const TPersistent& Object) {
        for (const TExpandedText& Text : ExpandedTexts)
            if (Object.ClassName() == Text.Class)
                CheckText(F, Object, Text.Property, Text.Expansion);
    };
    auto& Script = const_cast<TSetupScript&>(F.Script);
    ForEachProp(Script.ClassInfo(), [&](const TPropInfo& Prop) {
        const TPersistent* Sub = Prop.Type->Kind == tkClass ? Prop.Object(Script) : nullptr;
        if (!Sub) return;
        Visit(*Sub);
        if (const auto* List = dynamic_cast<const TXmlObjectList*>(Sub))
            for (int I = 0; I < List->Count(); ++I)
                Visit(*List->Items(I));
    });
    CheckVariables(F);
    CheckRegistryNumbers(F);
}
