// End-to-end tests of Quorvane.exe under a real Win32 implementation. The program runs
// as a process of its own while real top-level windows, owned by this test, record the
// environment's WM_SETTINGCHANGE when it reaches them.

#include <stdio.h>

#include <algorithm>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "answers.h"
#include "windows_harness.h"

namespace {

// How many names an argument holding * or ? matches where a child runs in dir, which is
// what the runtime's expansion turns it into: a rooted pattern ("/?") is looked up at the
// root of dir's drive, any other in dir.
size_t matches(const std::string& arg, const std::string& dir) {
  if (arg.find_first_of("*?") == std::string::npos)
    return 0;
  bool rooted = arg[0] == '/' || arg[0] == '\\';
  std::string pattern = rooted ? dir.substr(0, 2) + arg : dir + "\\" + arg;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    return 0;
  size_t count = 0;
  do {
    std::string name = found.cFileName;
    count += name != "." && name != "..";
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return count;
}

// The answer to c from a child run in dir. A pattern that matches nothing arrives as typed;
// one that matches arrives as the names, and no file name is an option.
Answer answer_in(const Case& c, const std::string& dir) {
  size_t args = 0, names = 0;
  for (const std::string& arg : c.args) {
    size_t n = matches(arg, dir);
    names += n;
    args += n ? n : 1;
  }
  if (!names)
    return c.answer;
  return args > 1 ? Answer::kTooMany : Answer::kIncorrect;
}

// Its output, status, and whether windows heard of it: only a broadcast reaches them.
void expect_answer(const std::string& exe, const Case& c, const std::string& dir) {
  SCOPED_TRACE(label(c));
  Answer answer = answer_in(c, dir);
  // Shells, terminals and editors register Unicode classes: the system converts for them.
  Listeners ansi(2, Behaviour::kHealthy), unicode(2, Behaviour::kHealthy, Charset::kUnicode);
  Outcome o = run(exe, c.args, dir);
  EXPECT_EQ(o.out, crlf(text(answer)));
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(o.status, static_cast<DWORD>(exit_status(answer)));
  expect_environment_changes(ansi.stop(), answer == Answer::kBroadcast ? 1 : 0);
  expect_environment_changes(unicode.stop(), answer == Answer::kBroadcast ? 1 : 0);
}

}  // namespace

// Each test below but Faults, whose bounds are the platform's, runs every program: the
// GUI-subsystem twin must answer as the console one.
const SuiteBound output{"Output", 120}, delivery{"Delivery", 120}, wildcards{"Wildcards", 60},
    resources{"Resources", 60}, console{"Console", 60}, faults{"Faults", 180};

TEST(Output, AnswersEveryArgumentVector) {
  Folder empty;
  ForeignBroadcasts others;  // as on a real desktop: only the environment's count
  for (const Program& p : kPrograms) {
    SCOPED_TRACE(p.name);
    for (const Case& c : cases())
      expect_answer(program(p.name), c, empty.path());
  }
}

// The README that ships names each program as a console or a Windows (GUI) program, shows a
// broadcast's output, and has a row for each exit status that names what tells it apart: the
// line written last, or the usage text, after any complaint.
TEST(Output, TheReadmeGivesTheseAnswers) {
  const std::string readme =
      std::regex_replace(read_file(beside_test("README.txt")), std::regex("\r"), "");
  for (const Program& p : kPrograms) {  // "`X.exe`, a console program" or "..., ... (GUI) program"
    std::smatch described;
    const std::regex program_is("`" + std::string(p.name) + "`, ([^,]*program)");
    EXPECT_TRUE(std::regex_search(readme, described, program_is)) << p.name;
    std::string kind = described[1];
    EXPECT_EQ(kind.find("(GUI)") != std::string::npos, p.gui) << p.name << ": " << kind;
    EXPECT_EQ(kind.find("console") != std::string::npos, !p.gui) << p.name << ": " << kind;
  }
  const std::regex fence("```[^\n]*\n([\\s\\S]*?)```"), row("\n\\| ([0-9]+) \\| (.*) \\|");
  std::vector<std::string> blocks;
  std::map<std::string, std::string> rows;  // by status
  for (std::sregex_iterator m(readme.begin(), readme.end(), fence), end; m != end; ++m)
    blocks.push_back((*m)[1]);
  for (std::sregex_iterator m(readme.begin(), readme.end(), row), end; m != end; ++m)
    rows[(*m)[1]] = (*m)[2];
  EXPECT_NE(std::find(blocks.begin(), blocks.end(), text(Answer::kBroadcast)), blocks.end());
  auto trim = [](std::string line) {
    line.erase(line.find_last_not_of('\n') + 1);
    return line.substr(line.find_first_not_of('\n'));
  };
  std::map<std::string, std::vector<std::string>> told = {{"1", {trim(failure_text("N"))}}};
  for (Answer a : {Answer::kUsage, Answer::kIncorrect, Answer::kTooMany, Answer::kBroadcast}) {
    std::string said = text(a), status = std::to_string(exit_status(a));
    size_t usage = said.rfind(kUsageText);
    if (usage == std::string::npos)
      told[status].push_back(trim(said.substr(said.rfind('\n', said.size() - 2) + 1)));
    else
      told[status].push_back("usage text");
    if (usage != std::string::npos && usage > 0)
      told[status].push_back(trim(said.substr(0, usage)));
  }
  std::string documented, given;
  for (const auto& [status, row] : rows)
    documented += status + " ";
  for (const auto& [status, pieces] : told)
    given += status + " ";
  EXPECT_EQ(documented, given) << "the README's exit statuses, and the program's";
  for (const auto& [status, pieces] : told) {
    for (const std::string& piece : pieces)
      EXPECT_NE(rows[status].find(piece), std::string::npos) << "status " << status << ": " << piece;
  }
}

TEST(Wildcards, PatternsAreExpandedWhereTheProgramRuns) {
  Folder folder({"w1.txt", "w2.txt"});
  const Case runs[] = {
      {{"w?.txt"}, Answer::kTooMany},   // becomes w1.txt w2.txt
      {{"w*.txt"}, Answer::kTooMany},
      {{"w1.txt"}, Answer::kIncorrect},
      {{"w1.t?t"}, Answer::kIncorrect},  // one match is one argument
      {{"q?.txt"}, Answer::kIncorrect},  // no match: arrives as typed
      {{"/?"}, Answer::kUsage},          // unless the drive's root has one-letter names
      {{"-?"}, Answer::kUsage},
  };
  for (const Program& p : kPrograms) {
    SCOPED_TRACE(p.name);
    for (const Case& c : runs)
      expect_answer(program(p.name), c, folder.path());
  }

  // "/?" is rooted: a one-character name at the root of the drive turns it into that name.
  // A folder, which users who are not administrators may make there, and which matches too.
  std::string name = folder.path().substr(0, 3) + "~";
  ASSERT_TRUE(CreateDirectoryA(name.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS)
      << "cannot make " << name << ": error " << GetLastError();
  EXPECT_NE(answer_in(runs[5], folder.path()), Answer::kUsage);
  for (const Program& p : kPrograms) {
    SCOPED_TRACE(p.name);
    expect_answer(program(p.name), runs[5], folder.path());
  }
  RemoveDirectoryA(name.c_str());
}

// Output that cannot be written is lost quietly; the broadcast still happens.
TEST(Delivery, UnwritableStandardOutputStillBroadcasts) {
  Folder empty;
  for (const Program& p : kPrograms) {
    for (Stdout mode : {Stdout::kClosed, Stdout::kBrokenPipe}) {
      SCOPED_TRACE(p.name + std::string(mode == Stdout::kClosed ? ": no standard output"
                                                              : ": pipe with no reader"));
      Listeners listeners(2, Behaviour::kHealthy);
      Outcome o = run(program(p.name), {"/broadcast"}, empty.path(), mode);
      EXPECT_EQ(o.err, "");
      EXPECT_EQ(o.status, 0u);
      expect_environment_changes(listeners.stop());
    }
  }
}

// What Windows reads from the file before the program runs: the manifest, where Windows
// looks for it, and the version, under each program's own name.
TEST(Resources, ManifestAndVersionAreEmbedded) {
  // The licence's own line, from the copy beside the test.
  std::istringstream licence(read_file(beside_test("LICENSE")));
  std::string copyright;
  while (std::getline(licence, copyright) && copyright.rfind("Copyright ", 0) != 0) {
  }
  copyright.erase(copyright.find_last_not_of('\r') + 1);
  ASSERT_FALSE(copyright.empty()) << "no Copyright line in LICENSE";
  for (const Program& p : kPrograms) {
    std::string name = p.name;
    SCOPED_TRACE(name);
    std::string exe_path = program(name);
    HMODULE exe = LoadLibraryExA(exe_path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(exe, nullptr);
    HRSRC found = FindResourceA(exe, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
    ASSERT_NE(found, nullptr);
    std::string manifest(static_cast<const char*>(LockResource(LoadResource(exe, found))),
                         SizeofResource(exe, found));
    FreeLibrary(exe);
    // What it says is checked where the exe is built (checks/exe.py).
    EXPECT_NE(manifest.find("<assembly "), std::string::npos) << manifest;

    DWORD size = GetFileVersionInfoSizeA(exe_path.c_str(), nullptr);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(exe_path.c_str(), 0, size, info.data()));
    auto value = [&](const char* key) {
      char* text = nullptr;
      UINT length = 0;
      std::string path = std::string("\\StringFileInfo\\040904B0\\") + key;
      return VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void**>(&text), &length)
                 ? std::string(text)
                 : std::string("(missing)");
    };
    EXPECT_EQ(value("ProductName"), "Quorvane");
    EXPECT_EQ(value("LegalCopyright"), copyright);
    EXPECT_EQ(value("OriginalFilename"), name);
    EXPECT_EQ(value("InternalName"), name.substr(0, name.size() - 4));
    EXPECT_EQ(value("FileVersion"), QUORVANE_VERSION);
    EXPECT_EQ(value("ProductVersion"), QUORVANE_VERSION);
    EXPECT_NE(value("FileDescription"), "(missing)");
  }
}

// Started by a program with no console (msiexec, a GUI installer, Explorer), a console
// program gets one of its own, whose window flashes up, unless Windows honours the
// manifest's request for none: from build 26100 on. A GUI program, as QuorvaneW.exe, never
// gets one.
TEST(Console, OnlyOlderWindowsGiveOneWhenStartedWithoutOne) {
  FreeConsole();  // this test is now such a program
  for (const Program& p : kPrograms) {
    bool console = !p.gui && windows_build() < 26100;
    SCOPED_TRACE(p.name + std::string(console ? " gets a console" : " gets none"));
    // Holds the broadcast for its whole timeout while the console is looked for: a window that
    // pumps is never judged hung, however late the program starts.
    Listeners slow(1, Behaviour::kSlow);
    bool attached = false;
    DWORD error = 0;
    Outcome o = run_command(quote(program(p.name)) + " /broadcast", Folder().path(),
                            Stdout::kPipe, 30, 0, [&](DWORD pid) {
                              attached = AttachConsole(pid);
                              error = attached ? 0 : GetLastError();
                              if (attached)
                                FreeConsole();
                            });
    EXPECT_GE(o.first_output, 0);
    EXPECT_EQ(attached, console) << "Windows build " << windows_build();
    // Any other error (87: the process was gone) says nothing of its console.
    if (!attached)
      EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(o.status, 0u);
  }
}

// The platform takes a window whose thread has pumped no messages for 5 s as hung and
// skips it at once; any other window gets the broadcast's 5 s timeout to answer, no more.
TEST(Faults, UnresponsiveWindowsCostAtMostTheTimeout) {
  Folder empty;
  const struct {
    const char* name;
    Behaviour behaviour;
    DWORD idle_ms;  // how long the window has been unresponsive when the run starts
    double min, max;
  } faults[] = {
      {"hung for 6 s", Behaviour::kHung, 6000, 0, 2},
      {"hung for under 5 s", Behaviour::kHung, 0, 4.5, 7},
      {"slow to answer", Behaviour::kSlow, 0, 4.5, 7},
  };
  for (const auto& f : faults) {
    SCOPED_TRACE(f.name);
    // A real desktop has windows of its own, some slow at times: the bounds are counted
    // past a plain broadcast made just before.
    double plain = run(program(), {"/broadcast"}, empty.path()).seconds;
    Listeners healthy(50, Behaviour::kHealthy);
    Listeners unresponsive(1, f.behaviour);
    Sleep(f.idle_ms);
    Outcome o = run(program(), {"/broadcast"}, empty.path());
    printf("/broadcast past a window %s took %.1f s (plain: %.1f s)\n", f.name, o.seconds,
           plain);

    EXPECT_EQ(o.out, crlf(text(Answer::kBroadcast)));
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.status, 0u);
    EXPECT_GE(o.seconds, f.min);
    EXPECT_LT(o.seconds, plain + f.max);
    // The progress line is out before the wait, even into a pipe.
    EXPECT_LT(o.first_output, plain + 1);
    expect_environment_changes(healthy.stop());
  }
}

// Quorvane.exe started by cmd.exe ends with it when the run is bounded, and lets go of
// the test's pipes.
TEST(Faults, BoundedRunEndsTheWholeTree) {
  Listeners slow(1, Behaviour::kSlow);
  Outcome o = run_command("cmd.exe /c " + quote(program()) + " /broadcast", Folder().path(),
                          Stdout::kPipe, 1);
  EXPECT_TRUE(o.ended);
}
