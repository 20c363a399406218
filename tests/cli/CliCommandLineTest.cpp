// The program as a user meets it: exit status, which stream carries what,
// escape codes only where wanted, text from a printer made safe, JSON that
// parses.
#include <pty.h>

#include <cstdlib>
#include <thread>

#include "cli/CliFixture.h"

namespace carillon::cli {
namespace {

struct Case {
    std::vector<std::string> args;  // {pty}, {link}, {usb}: devices of the printers; {NDX}, {KIOSK}: packages
    int exit;
    std::string outHas, errHas;     // "" for an empty stream
    bool errTerminal = false;       // stderr a pseudo-terminal, with TERM=xterm
    const char* setting = nullptr;  // an environment variable set for the run
    bool escapes = false;           // cursor codes on stderr
    bool json = false;              // stdout: lines of valid UTF-8 JSON
    bool printerOff = false;
};

const std::vector<std::string> kPlan = {"plan", "--port={link}", "--baud", "9600", "--package", "{NDX}"};
std::vector<std::string> Plus(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Case kCases[] = {
    {{}, 2, "", "carillon-cli: no command given\nTry 'carillon-cli --help' for more information.\n"},
    {{"--version"}, 0, "carillon-cli ", ""},
    {{"silent", "--", "--dir"}, 3, "", "carillon-cli: no setup file: --dir/SetupData/Setup.ini"},
    {{"search"}, 0, "Serial Printers\n  * COM1: Caf\\xe9 NDX\\x1b[31m  ({pty})\nUSB Printers\n",
     "carillon-cli: Searching the printers...\n"},
    {{"search", "--json"}, 0, "\"device\":\"{pty}\",\"kind\":\"serial\",\"label\":\"Caf\u00e9 NDX\\u001b[31m\"", "", false,
     nullptr, false, true},
    {{"search"}, 3, "    COM1:   ({pty})\n", "Searching the printers...\n", false, nullptr, false, false, true},
    {kPlan, 0, "DSP_FLASH:", "\033[2K", true, nullptr, true},
    {kPlan, 0, "DSP_FLASH:", "Progress: 100%", true, "NO_COLOR=", false},
    {kPlan, 0, "DSP_FLASH:", "Progress: 100%", true, "TERM=dumb", false},
    {Plus({"-q", "--json"}, kPlan), 0, "{\"event\":\"element\",\"plan\":{\"name\":\"NDX_DSP_FW\"", "", false, nullptr, false, true},
    {Plus({"-v"}, kPlan), 0, "DSP_FLASH:", "carillon-cli: {link} is COM1\n"},
    {Plus(kPlan, {"--trace", "-q"}), 0, "DSP_FLASH:", "PR< len=12 crc ok seq=0 answer=0x00 8 bytes: 02 C8"},
    {{"-v", "plan", "--port", "{usb}", "--package", "{KIOSK}"}, 0, "KIOSK_FLASH:", "carillon-cli: {usb} is USB1 ("},
    {{"plan", "--port", "/dev/null", "--package", "{NDX}"}, 3, "",
     "carillon-cli: /dev/null is neither a serial port nor a USB printer of this computer\n"},
};

class CliCommandLineTest : public CliRunTest {};

TEST_F(CliCommandLineTest, ExitStatusStreamsEscapesAndJson) {
    sim::PrinterConfig config;
    config.name = "Caf\xe9 NDX\x1b[31m";
    Attach(config);
    const std::string pty = ptys_.back()->DevicePath(), link = (dir_ / "by-id").string();
    std::filesystem::create_symlink(pty, link);
    config.family = sim::Family::kKiosk;
    Attach(config, true);
    const std::string usb = ptys_.back()->DevicePath();
    ScopedSerialPortMap map({{1, pty}});
    environment.answers = std::fopen("/dev/null", "r");
    for (const Case& c : kCases) {
        std::vector<std::string> args = c.args;
        auto fill = [&](std::string s) {
            for (const auto& [from, to] : {std::pair{"{pty}", pty}, {"{link}", link}, {"{usb}", usb}, {"{NDX}", Sample("NDX")},
                                           {"{KIOSK}", Sample("KIOSK")}})
                if (const auto at = s.find(from); at != std::string::npos) s.replace(at, std::string(from).size(), to);
            return s;
        };
        for (std::string& a : args) a = fill(a);
        SCOPED_TRACE(::testing::PrintToString(args));
        for (auto& printer : printers_) printer->SetSilent(c.printerOff);
        setenv("TERM", "xterm", 1);
        unsetenv("NO_COLOR");
        if (c.setting != nullptr) putenv(const_cast<char*>(c.setting));
        int master = -1, slave = -1;
        ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        std::string terminal;  // drained as the run writes, so the pty never fills
        std::thread reader([&] {
            char b[512];
            for (ssize_t n; (n = ::read(master, b, sizeof b)) > 0;) terminal.append(b, static_cast<std::size_t>(n));
        });
        std::FILE* out = std::tmpfile();
        std::FILE* err = c.errTerminal ? fdopen(slave, "w") : std::tmpfile();
        EXPECT_EQ(RunCommandLine(args, out, err, environment), c.exit);
        std::fflush(err);
        const std::string o = Contents(out), e = c.errTerminal ? "" : Contents(err);
        std::fclose(err);
        if (!c.errTerminal) ::close(slave);
        reader.join();
        ::close(master);
        const std::string& errText = c.errTerminal ? terminal : e;
        EXPECT_TRUE(c.outHas.empty() ? o.empty() : o.find(fill(c.outHas)) != std::string::npos) << o;
        EXPECT_TRUE(c.errHas.empty() ? errText.empty() : errText.find(fill(c.errHas)) != std::string::npos) << errText;
        EXPECT_EQ(o.find('\033'), std::string::npos) << "raw escape on stdout";
        EXPECT_EQ(errText.find("\033["), c.escapes ? errText.find("\033[2K") : std::string::npos);
        std::fclose(out);
        if (!c.json) continue;
        const std::string file = (dir_ / "out.json").string();
        std::ofstream(file, std::ios::binary) << o;
        EXPECT_EQ(std::system(("python3 -c 'import json,sys\nfor l in open(sys.argv[1],\"rb\").read().decode(\"utf-8\")"
                               ".splitlines(): json.loads(l)' " + file).c_str()), 0) << o;
    }
    unsetenv("TERM");
    std::fclose(environment.answers);
}

}  // namespace
}  // namespace carillon::cli
