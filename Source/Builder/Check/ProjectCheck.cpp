#include "ProjectCheck.h"

#include "BuildError.h"
#include "ProjectRules.h"

TDiagnostics CheckProject(const fs::path& Project) {
    if (!IsFile(Project)) RaiseBuildError(DisplayPath(Project), u"no such project file");
    const std::vector<uint8_t> Bytes = ReadWholeFile(Project);
    TDiagnostics Diagnostics;
    const std::unique_ptr<TXmlElement> Root = ScanXml(
        std::string_view(reinterpret_cast<const char*>(Bytes.data()), Bytes.size()), Diagnostics);
    if (!Root) return Diagnostics;
    TSetupScript Script;
    TScriptSource Source(*Root);
    ReadScript(*Root, Script, Source, Diagnostics);
    const TProjectFacts Facts{Script, Source, Project.parent_path(), Diagnostics};
    CheckBaseInfo(Facts);
    CheckTexts(Facts);
    CheckPackage(Facts);
    return Diagnostics;
}
