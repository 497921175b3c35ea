#include "DisplayScaling.h"

#include "BuildError.h"
#include "LxStreams.h"

namespace {

constexpr std::string_view Awareness =
    "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true</dpiAware>"
    "<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">"
    "PerMonitorV2, System</dpiAwareness>";

// Where the element Name starts and where it ends after its closing tag; npos when absent.
std::pair<size_t, size_t> FindElement(const std::string& Text, std::string_view Name) {
    for (size_t At = Text.find('<'); At != std::string::npos; At = Text.find('<', At + 1)) {
        if (Text.compare(At + 1, Name.size(), Name) != 0) continue;
        const char After = At + 1 + Name.size() < Text.size() ? Text[At + 1 + Name.size()] : 0;
        if (After != ' ' && After != '>' && After != '/' && After != '\t' && After != '\r' &&
            After != '\n')
            continue;
        const size_t OpenEnd = Text.find('>', At);
        if (OpenEnd == std::string::npos) break;
        if (Text[OpenEnd - 1] == '/') return {At, OpenEnd + 1};
        const std::string Close = "</" + std::string(Name) + ">";
        const size_t End = Text.find(Close, OpenEnd);
        if (End == std::string::npos) break;
        return {At, End + Close.size()};
    }
    return {std::string::npos, std::string::npos};
}

} // namespace

std::string ScaledManifest(std::string Text) {
    for (std::string_view Name : {"dpiAwareness", "dpiAware"})
        for (auto [Start, End] = FindElement(Text, Name); Start != std::string::npos;
             std::tie(Start, End) = FindElement(Text, Name))
            Text.erase(Start, End - Start);
    const auto [Settings, SettingsEnd] = FindElement(Text, "windowsSettings");
    if (Settings != std::string::npos && Text[SettingsEnd - 2] != '/') {
        Text.insert(Text.find('>', Settings) + 1, Awareness);
        return Text;
    }
    if (Settings != std::string::npos) Text.erase(Settings, SettingsEnd - Settings);
    const std::string Application = "<application xmlns=\"urn:schemas-microsoft-com:asm.v3\">"
                                    "<windowsSettings>" +
                                    std::string(Awareness) + "</windowsSettings></application>";
    const size_t End = Text.rfind("</assembly>");
    if (End == std::string::npos) return Text + Application;
    Text.insert(End, Application);
    return Text;
}

void ScaleWithDisplay(TResourceTree& Tree, WideStringView FileName) {
    bool Found = false;
    for (TResource& Resource : Tree.Items) {
        if (!(Resource.Type == TResourceKey::FromId(RT_MANIFEST_ID))) continue;
        const std::string Scaled =
            ScaledManifest(std::string(Resource.Data.begin(), Resource.Data.end()));
        Resource.Data.assign(Scaled.begin(), Scaled.end());
        Found = true;
    }
    if (!Found) RaiseBuildError(FileName, u"has no manifest: ScaleWithDisplay cannot take effect");
}

std::vector<uint8_t> ScaledProgram(std::vector<uint8_t> Image, WideStringView FileName) {
    const TPeImage Program(std::move(Image), WideString(FileName));
    TResourceTree Tree = Program.Resources();
    ScaleWithDisplay(Tree, FileName);
    TMemoryStream Out;
    Program.WriteWithResources(Tree, Out);
    return Out.Bytes();
}
