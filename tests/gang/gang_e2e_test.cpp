// The real ov58xx-gang against simulated chips on pseudo-terminals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <csignal>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "e2e/e2e_support.h"
#include "support/test_files.h"

namespace ov {
namespace {

using e2e::Bin;
using e2e::Simulator;

// The gang started in the background, its stdout and stderr in files.
class GangProcess {
  public:
    GangProcess(const test::TempDir& dir, const std::vector<std::string>& args,
                const std::string& name = "gang")
        : out(dir.File(name + ".out")), err(dir.File(name + ".err")) {
        // Nothing of an earlier process may be taken for this one's output.
        ::unlink(out.c_str());
        ::unlink(err.c_str());
        pid_ = ::fork();
        if (pid_ != 0) return;
        ::setenv("OV58XX_LOADER_HOME", dir.File("home").c_str(), 1);
        ::setenv("LC_ALL", "C.UTF-8", 1);
        const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (o < 0 || e < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0) _exit(127);
        const std::string gang = Bin("tools/gang/ov58xx-gang");
        std::vector<char*> argv{const_cast<char*>(gang.c_str())};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(gang.c_str(), argv.data());
        _exit(127);
    }
    ~GangProcess() {
        if (pid_ > 0 && status_ < 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    // The exit status, or 128 + the signal; -1 when it has not ended within `seconds`.
    int Wait(double seconds = 60) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (status_ < 0 && std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_)
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            else
                ::usleep(10000);
        }
        return status_;
    }
    void Signal(int signal) const { ::kill(pid_, signal); }
    // Waits until stdout holds `text`.
    bool WaitForOutput(const std::string& text, double seconds = 30) const {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < end) {
            if (test::ReadText(out).find(text) != std::string::npos) return true;
            ::usleep(10000);
        }
        return false;
    }
    std::string out, err;

  private:
    pid_t pid_ = -1;
    int status_ = -1;
};

// Every line parsed as one JSON object; a line that is not one fails the test.
std::vector<QJsonObject> JsonLines(const std::string& text) {
    std::vector<QJsonObject> objects;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << "not JSON: " << line;
        EXPECT_TRUE(doc.isObject()) << line;
        objects.push_back(doc.object());
    }
    return objects;
}

std::string S(const QJsonObject& o, const char* key) { return o[key].toString().toStdString(); }

std::string Sha256Of(const std::string& path) {
    std::string out;
    test::RunCommand("sha256sum '" + path + "' | cut -d' ' -f1", &out);
    return out.substr(0, 64);
}

TEST(GangEndToEnd, TwoPortsInJsonEveryOneVerifiedAndOnlyJsonOnStdout) {
    test::TempDir dir;
    test::WriteBytes(dir.File("fw.bin"), test::RandomBytes(40000, 21));
    Simulator a("--csn 0000000000a1"), b("--csn 0000000000b2");
    GangProcess gang(dir, {"-f", dir.File("fw.bin"), "-p", a.path, "-p", b.path, "--json",
                           "--results", dir.File("ledger")});
    EXPECT_EQ(gang.Wait(), 0) << test::ReadText(gang.err);
    EXPECT_NE(a.Finish().find("verdict: OK image verified (40000 bytes"), std::string::npos);
    EXPECT_NE(b.Finish().find("verdict: OK image verified (40000 bytes"), std::string::npos);
    EXPECT_EQ(test::ReadText(gang.err), "");

    const auto events = JsonLines(test::ReadText(gang.out));
    std::map<std::string, int> kinds;
    for (const auto& e : events) {
        ++kinds[S(e, "event")];
        EXPECT_EQ(e["schema"].toInt(), 1);
        EXPECT_TRUE(S(e, "port") == a.path || S(e, "port") == b.path) << S(e, "port");
        EXPECT_TRUE(e.contains("slot"));
        EXPECT_TRUE(e["slot"].isNull());  // a pseudo-terminal is no USB device
        if (S(e, "event") == "start") {
            EXPECT_EQ(S(e, "image"), dir.File("fw.bin"));
            EXPECT_EQ(e["size"].toInteger(), 40000);
            EXPECT_EQ(S(e, "sha256"), Sha256Of(dir.File("fw.bin")));
        }
        if (S(e, "event") == "end") {
            EXPECT_EQ(S(e, "outcome"), "ok");
            EXPECT_EQ(e["code"].toInt(), 200);
            EXPECT_EQ(S(e, "csn"), S(e, "port") == a.path ? "0000000000a1" : "0000000000b2");
            EXPECT_EQ(e["bytes"].toInteger(), 40000);
            EXPECT_GT(e["seconds"].toDouble(), 0.0);
        }
    }
    EXPECT_EQ(kinds["start"], 2);
    EXPECT_EQ(kinds["chip"], 2);
    EXPECT_EQ(kinds["progress"], 20);
    EXPECT_EQ(kinds["end"], 2);
    EXPECT_EQ(JsonLines(test::ReadText(dir.File("ledger"))).size(), 2u);
    // Each port its own log, named after its device.
    for (const std::string& path : {a.path, b.path}) {
        const std::string log = test::ReadText(
            dir.File("home/log/pts-" + path.substr(path.rfind('/') + 1) + "/download.log"));
        EXPECT_NE(log.find(path + " run "), std::string::npos) << path;
        EXPECT_NE(log.find(" end ok (200) File downloaded successfully !"), std::string::npos)
            << log;
        EXPECT_NE(log.find("初始化boot程序"), std::string::npos) << log;
    }
}

TEST(GangEndToEnd, FourPortsOneChipFailingOneLineVanishingAndAPortThatIsNot) {
    test::TempDir dir;
    test::WriteBytes(dir.File("fw.bin"), test::RandomBytes(50000, 25));
    Simulator good1(""), good2(""), failing("--status 2=3"), vanishing("--close-after 8");
    const std::string missing = "/dev/pts/98765";
    GangProcess gang(dir, {"-f", dir.File("fw.bin"), "-p", good1.path, "-p", good2.path, "-p",
                           failing.path, "-p", vanishing.path, "-p", missing, "--json"});
    EXPECT_EQ(gang.Wait(), 1) << test::ReadText(gang.err);
    EXPECT_NE(good1.Finish().find("verdict: OK image verified (50000 bytes"), std::string::npos);
    EXPECT_NE(good2.Finish().find("verdict: OK image verified (50000 bytes"), std::string::npos);
    std::map<std::string, QJsonObject> end;
    for (const auto& e : JsonLines(test::ReadText(gang.out)))
        if (S(e, "event") == "end") end[S(e, "port")] = e;
    ASSERT_EQ(end.size(), 5u) << test::ReadText(gang.out);
    EXPECT_EQ(S(end[good1.path], "outcome"), "ok");
    EXPECT_EQ(S(end[good2.path], "outcome"), "ok");
    EXPECT_EQ(S(end[failing.path], "outcome"), "failed");
    EXPECT_EQ(S(end[failing.path], "message"), "step2:verify error ");
    EXPECT_EQ(S(end[vanishing.path], "outcome"), "port-error");
    EXPECT_EQ(end[vanishing.path]["code"].toInt(), 300);
    EXPECT_EQ(S(end[vanishing.path], "message"), "Serial communication error!");
    EXPECT_EQ(S(end[missing], "outcome"), "port-error");
    EXPECT_EQ(end[missing]["code"].toInt(), 300);
    EXPECT_NE(S(end[missing], "message").find(missing + ": No such file or directory"),
              std::string::npos)
        << S(end[missing], "message");
    EXPECT_NE(failing.Finish().find("verdict: FAILED"), std::string::npos);
}

TEST(GangEndToEnd, TwoProcessesAppendWholeLinesToOneLedger) {
    test::TempDir dir;
    test::WriteBytes(dir.File("fw.bin"), test::RandomBytes(20000, 22));
    std::vector<std::unique_ptr<Simulator>> sims;
    for (int i = 0; i < 4; ++i) sims.push_back(std::make_unique<Simulator>(""));
    const std::string ledger = dir.File("ledger.jsonl");
    GangProcess first(
        dir,
        {"-f", dir.File("fw.bin"), "-p", sims[0]->path, "-p", sims[1]->path, "--results", ledger},
        "first");
    GangProcess second(
        dir,
        {"-f", dir.File("fw.bin"), "-p", sims[2]->path, "-p", sims[3]->path, "--results", ledger},
        "second");
    EXPECT_EQ(first.Wait(), 0) << test::ReadText(first.err);
    EXPECT_EQ(second.Wait(), 0) << test::ReadText(second.err);
    const std::string text = test::ReadText(ledger);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    const auto ends = JsonLines(text);
    ASSERT_EQ(ends.size(), 4u) << text;
    std::set<std::string> ports;
    for (const auto& e : ends) {
        EXPECT_EQ(S(e, "event"), "end");
        EXPECT_EQ(S(e, "outcome"), "ok");
        ports.insert(S(e, "port"));
    }
    EXPECT_EQ(ports.size(), 4u);
    // Piped, the gang writes one plain line per event and its summary.
    const std::string out = test::ReadText(first.out);
    EXPECT_NE(out.find(" end ok (200) "), std::string::npos) << out;
    EXPECT_NE(out.find("2 of 2 verified"), std::string::npos) << out;
}

TEST(GangEndToEnd, CtrlCOnceLetsTheRunsFinishTwiceOrSigtermStopsThem) {
    // Every way ends by the first signal (128 + its number), after the summary.
    test::TempDir dir;
    test::WriteBytes(dir.File("fw.bin"), test::RandomBytes(60000, 23));
    {
        Simulator a("--baud 115200"), b("--baud 115200");  // about 5 s of data each
        GangProcess gang(dir, {"-f", dir.File("fw.bin"), "-p", a.path, "-p", b.path, "--json"});
        ASSERT_TRUE(gang.WaitForOutput("\"event\":\"progress\"")) << test::ReadText(gang.err);
        gang.Signal(SIGINT);
        EXPECT_EQ(gang.Wait(), 128 + SIGINT) << test::ReadText(gang.err);
        EXPECT_NE(a.Finish().find("verdict: OK"), std::string::npos);
        EXPECT_NE(b.Finish().find("verdict: OK"), std::string::npos);
        int ok = 0;
        for (const auto& e : JsonLines(test::ReadText(gang.out)))
            ok += S(e, "event") == "end" && S(e, "outcome") == "ok";
        EXPECT_EQ(ok, 2);
    }
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        Simulator a("--baud 115200"), b("--baud 115200");
        GangProcess gang(dir, {"-f", dir.File("fw.bin"), "-p", a.path, "-p", b.path});
        ASSERT_TRUE(gang.WaitForOutput(" 10% (")) << test::ReadText(gang.err);
        if (signal == SIGINT) {
            gang.Signal(SIGINT);
            ::usleep(100 * 1000);
        }
        const auto start = std::chrono::steady_clock::now();
        gang.Signal(signal);
        EXPECT_EQ(gang.Wait(), 128 + signal) << test::ReadText(gang.err);
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                  1.0);
        // The lines were let go at once: each simulator reports the part of the image it got.
        EXPECT_NE(a.Finish().find("verdict: INCOMPLETE"), std::string::npos) << signal;
        EXPECT_NE(b.Finish().find("verdict: INCOMPLETE"), std::string::npos) << signal;
        EXPECT_NE(test::ReadText(gang.out).find("0 of 2 verified"), std::string::npos)
            << test::ReadText(gang.out);
        for (const std::string& path : {a.path, b.path}) {
            const std::string log = test::ReadText(
                dir.File("home/log/pts-" + path.substr(path.rfind('/') + 1) + "/download.log"));
            EXPECT_NE(log.find("the run was interrupted by signal " + std::to_string(signal)),
                      std::string::npos)
                << log;
            EXPECT_NE(log.find(" end error "), std::string::npos) << log;
        }
    }
}

TEST(GangEndToEnd, ArgumentsNotAcceptedExitWith2AndAMessage) {
    test::TempDir dir;
    test::WriteBytes(dir.File("fw.bin"), test::RandomBytes(100, 24));
    const std::vector<std::vector<std::string>> bad = {
        {"-f", dir.File("fw.bin")},
        {"-f", dir.File("fw.bin"), "-p", "/dev/null", "--retry", "x"},
        {"-f", dir.File("missing.bin"), "-p", "/dev/null"},
        {"-f", dir.File("fw.bin"), "-p", "/dev/null", "--results", dir.File("no/such/dir/ledger")},
    };
    for (const auto& args : bad) {
        GangProcess gang(dir, args);
        EXPECT_EQ(gang.Wait(), 2) << args.back();
        const std::string err = test::ReadText(gang.err);
        EXPECT_EQ(err.rfind("ov58xx-gang: ", 0), 0u) << err;
        EXPECT_EQ(test::ReadText(gang.out), "") << args.back();
    }
    EXPECT_NE(test::ReadText(dir.File("gang.err")).find("no/such/dir/ledger"), std::string::npos);
}

}  // namespace
}  // namespace ov
