#include "BuildError.h"
#include "Commands.h"
#include "ConsoleOutput.h"
#include "StarterProject.h"

const TCommand NewCommand = {
    "new", "write a small starter project",
    "usage: onesetup new DIR\n"
    "\n"
    "Writes a small, commented project into DIR: the script Project.xml, an icon, a licence\n"
    "text and a folder 'files' with a file or two. It builds as it stands; change it to suit\n"
    "the product. DIR is created when missing; an existing DIR must be empty.",
    RunNew};

namespace {

// The folder's name when it makes a plain title, which needs no escaping in the script.
WideString TitleOf(const fs::path& Folder) {
    fs::path Name = fs::absolute(Folder).lexically_normal();
    if (Name.filename().empty()) Name = Name.parent_path();
    const WideString Title = FromPath(Name.filename());
    bool Plain = !Title.empty();
    for (const char16_t C : Title)
        Plain =
            Plain && ((C >= u'a' && C <= u'z') || (C >= u'A' && C <= u'Z') ||
                      (C >= u'0' && C <= u'9') || C == u' ' || C == u'-' || C == u'_' || C >= 0x80);
    return Plain ? Title : WideString(u"My Product");
}

} // namespace

int RunNew(const TArguments& Arguments) {
    const TCommandLine Line(Arguments, {}, {});
    Line.ExpectPositional(1, 1, "DIR");
    const fs::path Folder = PathFromArgument(Line.Positional()[0]);
    std::error_code Error;
    if (fs::exists(Folder, Error) && !fs::is_directory(Folder, Error))
        RaiseBuildError(DisplayPath(Folder), u"exists and is not a folder: nothing written");
    if (fs::is_directory(Folder, Error) && !fs::is_empty(Folder, Error))
        RaiseBuildError(DisplayPath(Folder), u"is not empty: nothing written");
    for (const auto& [Path, Bytes] : StarterProjectFiles(TitleOf(Folder))) {
        fs::create_directories((Folder / Path).parent_path(), Error);
        WriteWholeFile(Folder / Path, Bytes);
        PrintLine(u"wrote " + DisplayPath(Folder / Path));
    }
    const WideString Project = DisplayPath(Folder / StarterProjectName);
    PrintLine(u"check it with 'onesetup check " + Project + u"', build it with 'onesetup build " +
              Project + u"'");
    return 0;
}
