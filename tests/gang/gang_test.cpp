// The gang on the virtual clock: each port leads to its own simulated chip, and the JSON
// Lines it reports are read back with Qt's JSON parser, field by field.
#include "gang.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>

#include "bootsim/boot_loader_sim.h"
#include "common/loader_error.h"
#include "gang_options.h"
#include "settings/main_config.h"
#include "support/manual_host.h"
#include "support/sim_link.h"
#include "support/test_files.h"

namespace ov::gang {
namespace {

// The chips behind the ports, by device path. A port's n-th open meets a fresh chip made from
// its n-th configuration (the last one repeats); a port listed as dead cannot be opened.
class PortChips : public PortLinkFactory {
  public:
    explicit PortChips(test::ManualHost& host) : host_(host) {}
    std::unique_ptr<PortLink> Create(const LinkContext& context) override {
        return std::make_unique<Link>(*this, context);
    }
    std::map<std::string, std::vector<sim::SimConfig>> configs;
    std::set<std::string> dead;
    std::map<std::string, std::vector<std::unique_ptr<sim::BootLoaderSim>>> chips;

  private:
    class Link : public PortLink {
      public:
        Link(PortChips& owner, const LinkContext& context) : owner_(owner), context_(context) {}
        void OpenByName(const std::string& name) override { OpenByPath(name); }
        void OpenByPath(const std::string& path) override {
            if (owner_.dead.count(path))
                throw LoaderError("Open failed!", path + ": No such file or directory");
            auto& list = owner_.chips[path];
            const auto& configs = owner_.configs[path];
            const sim::SimConfig config = configs.empty()
                                              ? sim::SimConfig{}
                                              : configs[std::min(list.size(), configs.size() - 1)];
            list.push_back(std::make_unique<sim::BootLoaderSim>(config));
            inner_ =
                std::make_unique<test::SimLink>(owner_.host_, context_, *list.back(), noFailures_);
            inner_->OpenByPath(path);
        }
        void Send(const std::uint8_t* bytes, std::size_t length) override {
            if (!inner_) throw LoaderError("open com first when send data.");
            inner_->Send(bytes, length);
        }
        void Close() override {
            if (inner_) inner_->Close();
        }

      private:
        PortChips& owner_;
        LinkContext context_;
        int noFailures_ = 0;
        std::unique_ptr<test::SimLink> inner_;
    };
    test::ManualHost& host_;
};

sim::SimConfig ChipWithCsn(std::uint8_t last) {
    sim::SimConfig config;
    config.chip.csn[5] = last;
    return config;
}

class GangTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("LC_ALL", "C", 1);
        setenv("OV58XX_LOADER_HOME", dir.Path().c_str(), 1);
        test::WriteBytes(dir.File("fw.bin"), test::RandomBytes(30000, 7));
        image.path = image.source = dir.File("fw.bin");
        image.size = 30000;
        image.sha256 =
            std::string(64, 'a');  // what the runs report; the real digest is checked end to end
        ports.sysRoot = dir.File("sys");
        ports.devRoot = dir.File("dev");
        test::RunCommand("mkdir -p '" + dir.File("sys/class/tty") + "' '" + dir.File("dev") + "'");
        out = std::tmpfile();
    }
    void TearDown() override {
        std::fclose(out);
        unsetenv("OV58XX_LOADER_HOME");
        unsetenv("LC_ALL");
    }

    // Runs the gang to its end on the virtual clock; `during` runs between its steps.
    void Run(const std::vector<std::string>& args, const std::function<void(Gang&)>& during = {},
             std::uint64_t limitMs = 120000) {
        gang.reset();
        options = ParseGangOptions(args);
        MainConfig config;
        DownloadRequest base = RequestFromSettings(config, ports);
        reports = std::make_unique<GangReports>(GangReports::Mode::Json, out, options.resultsPath);
        gang = std::make_unique<Gang>(host, chips, options, base, image, *reports, ports,
                                      dir.File("log"), [this] { host.Quit(); });
        gang->Start();
        const std::uint64_t end = host.TickCount() + limitMs;
        while (!host.quit && host.TickCount() < end) {
            host.RunUntil([&] { return host.quit; }, 50);
            if (during) during(*gang);
        }
        ASSERT_TRUE(host.quit) << "the gang did not end";
        Read();
    }
    void Read() {
        std::rewind(out);
        lines.clear();
        events.clear();
        char buffer[4096];
        while (std::fgets(buffer, sizeof(buffer), out)) {
            lines.emplace_back(buffer);
            QJsonParseError error;
            const QJsonDocument doc = QJsonDocument::fromJson(QByteArray(buffer), &error);
            ASSERT_EQ(error.error, QJsonParseError::NoError) << buffer;
            ASSERT_TRUE(doc.isObject()) << buffer;
            events.push_back(doc.object());
        }
    }
    std::vector<QJsonObject> Of(const std::string& event, const std::string& port = {}) const {
        std::vector<QJsonObject> found;
        for (const auto& e : events)
            if (e["event"].toString().toStdString() == event &&
                (port.empty() || e["port"].toString().toStdString() == port))
                found.push_back(e);
        return found;
    }
    std::string All() const {
        std::string all;
        for (const auto& l : lines) all += l;
        return all;
    }
    static std::string Str(const QJsonObject& e, const char* key) {
        return e[key].toString().toStdString();
    }

    test::TempDir dir;
    test::ManualHost host;
    PortChips chips{host};
    PortBackend ports;
    GangImage image;
    GangOptions options;
    std::FILE* out = nullptr;
    std::unique_ptr<GangReports> reports;
    std::unique_ptr<Gang> gang;
    std::vector<std::string> lines;
    std::vector<QJsonObject> events;
};

TEST_F(GangTest, FourPortsOneChipFailingOneLineVanishingOneDeadPort) {
    chips.configs["/dev/ttyG1"] = {ChipWithCsn(0x01)};
    chips.configs["/dev/ttyG2"] = {ChipWithCsn(0x02)};
    sim::SimConfig refusing = ChipWithCsn(0x03);
    refusing.statusAt[{2, 1}] = 3;  // the chip rejects the image header
    chips.configs["/dev/ttyG3"] = {refusing};
    sim::SimConfig vanishing = ChipWithCsn(0x04);
    vanishing.closeAfter = 5;  // the line drops in the middle of the data
    chips.configs["/dev/ttyG4"] = {vanishing};
    chips.dead.insert("/dev/ttyG5");
    Run({"ov58xx-gang", "-f", image.source, "-p", "/dev/ttyG1", "-p", "ttyG2", "-p", "/dev/ttyG3",
         "-p", "/dev/ttyG4", "-p", "/dev/ttyG5"});

    EXPECT_FALSE(gang->AllOk());  // exit status 1
    std::map<std::string, QJsonObject> end;
    for (const auto& e : Of("end")) end[Str(e, "port")] = e;
    ASSERT_EQ(end.size(), 5u);
    for (const char* good : {"/dev/ttyG1", "/dev/ttyG2"}) {
        const auto& chipsOf = chips.chips[good];
        ASSERT_EQ(chipsOf.size(), 1u) << good;
        EXPECT_TRUE(chipsOf[0]->Verified()) << good << ": " << chipsOf[0]->Verdict();
        EXPECT_EQ(Str(end[good], "outcome"), "ok") << good;
        EXPECT_EQ(end[good]["code"].toInt(), 200);
        EXPECT_EQ(end[good]["bytes"].toInteger(), 30000);
    }
    EXPECT_EQ(Str(end["/dev/ttyG1"], "csn"), "012345678901");
    EXPECT_EQ(Str(end["/dev/ttyG2"], "csn"), "012345678902");
    EXPECT_EQ(Str(end["/dev/ttyG3"], "outcome"), "failed");
    EXPECT_EQ(Str(end["/dev/ttyG3"], "csn"), "012345678903");
    EXPECT_EQ(Str(end["/dev/ttyG4"], "outcome"), "port-error");
    EXPECT_EQ(end["/dev/ttyG4"]["code"].toInt(), 300);
    EXPECT_EQ(Str(end["/dev/ttyG4"], "message"), "Serial communication error!");
    EXPECT_GT(end["/dev/ttyG4"]["bytes"].toInteger(), 0);
    EXPECT_LT(end["/dev/ttyG4"]["bytes"].toInteger(), 30000);
    EXPECT_EQ(Str(end["/dev/ttyG5"], "outcome"), "port-error");
    EXPECT_EQ(end["/dev/ttyG5"]["code"].toInt(), 300);
    EXPECT_TRUE(end["/dev/ttyG5"]["csn"].isNull());
    EXPECT_NE(Str(end["/dev/ttyG5"], "message").find("/dev/ttyG5"), std::string::npos)
        << Str(end["/dev/ttyG5"], "message");

    // Every event carries the contract's fields; each run has its own id.
    std::set<int> runIds;
    for (const auto& e : events) {
        EXPECT_EQ(e["schema"].toInt(), 1);
        EXPECT_TRUE(e["time"].isString());
        const std::string time = Str(e, "time");
        ASSERT_EQ(time.size(), 24u) << time;  // 2026-12-10T07:50:01.123Z
        EXPECT_EQ(time[10], 'T');
        EXPECT_EQ(time[19], '.');
        EXPECT_EQ(time[23], 'Z');
        EXPECT_TRUE(e["slot"].isNull());  // no USB device behind these ports
        EXPECT_EQ(e["attempt"].toInt(), 1);
        runIds.insert(e["run"].toInt());
    }
    EXPECT_EQ(runIds.size(), 5u);
    const auto starts = Of("start", "/dev/ttyG2");  // "ttyG2" as given becomes its device path
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(Str(starts[0], "image"), image.source);
    EXPECT_EQ(starts[0]["size"].toInteger(), 30000);
    EXPECT_EQ(Str(starts[0], "sha256"), image.sha256);
    EXPECT_FALSE(Str(starts[0], "version").empty());
    const auto chip = Of("chip", "/dev/ttyG1");
    ASSERT_EQ(chip.size(), 1u);
    EXPECT_EQ(Str(chip[0], "csn"), "012345678901");
    EXPECT_EQ(Str(chip[0], "stage"), "0000");
    EXPECT_EQ(chip[0]["variant"].toInt(), 0);
    EXPECT_TRUE(chip[0]["versions"].isObject());
    // Progress every 10%, rising, the last one whole.
    const auto progress = Of("progress", "/dev/ttyG1");
    ASSERT_EQ(progress.size(), 10u);
    for (std::size_t i = 0; i < progress.size(); ++i)
        EXPECT_EQ(progress[i]["percent"].toInt(), static_cast<int>(10 * (i + 1)));
    EXPECT_EQ(progress.back()["bytes"].toInteger(), 30000);

    // Each port keeps its own log; one port's failure is not written into another's.
    const std::string log1 = test::ReadText(dir.File("log/ttyG1/download.log"));
    const std::string log3 = test::ReadText(dir.File("log/ttyG3/download.log"));
    EXPECT_NE(log1.find("/dev/ttyG1 run 1.1 end ok (200) File downloaded successfully !"),
              std::string::npos)
        << log1;
    EXPECT_EQ(log1.find("step2:verify error"), std::string::npos);
    EXPECT_NE(log3.find("/dev/ttyG3 run 3.1 end failed"), std::string::npos) << log3;
    EXPECT_NE(log3.find("step2:verify error"), std::string::npos);
    EXPECT_EQ(log3.find("File downloaded successfully !"), std::string::npos);
    EXPECT_NE(
        test::ReadText(dir.File("log/ttyG4/download.log")).find("Serial communication error!"),
        std::string::npos);
}

TEST_F(GangTest, RetryTurnsAFirstFailureIntoOkAndAppendsEveryEndToTheLedger) {
    sim::SimConfig failingOnce;
    failingOnce.statusAt[{2, 1}] = 3;
    chips.configs["/dev/ttyG1"] = {failingOnce, sim::SimConfig{}};
    chips.configs["/dev/ttyG2"] = {failingOnce};  // fails every time
    const std::string ledger = dir.File("results.jsonl");
    test::WriteFile(ledger, "{\"an earlier\":\"line\"}\n");
    Run({"ov58xx-gang", "-f", image.source, "-p", "/dev/ttyG1", "-p", "/dev/ttyG2", "--retry", "2",
         "--results", ledger});

    const auto starts = Of("start", "/dev/ttyG1");
    const auto ends = Of("end", "/dev/ttyG1");
    ASSERT_EQ(starts.size(), 2u) << All();
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_EQ(starts[0]["attempt"].toInt(), 1);
    EXPECT_EQ(starts[1]["attempt"].toInt(), 2);
    EXPECT_EQ(starts[0]["run"].toInt(), starts[1]["run"].toInt());  // a retry keeps its run id
    EXPECT_EQ(Str(ends[0], "outcome"), "failed");
    EXPECT_EQ(Str(ends[1], "outcome"), "ok");
    EXPECT_TRUE(chips.chips["/dev/ttyG1"].back()->Verified());
    // Up to N more attempts, then the run ends failed.
    EXPECT_EQ(Of("start", "/dev/ttyG2").size(), 3u);
    EXPECT_EQ(Str(Of("end", "/dev/ttyG2").back(), "outcome"), "failed");
    EXPECT_FALSE(gang->AllOk());

    // The ledger: the earlier line kept, then exactly the end objects, whole.
    std::istringstream ledgerLines(test::ReadText(ledger));
    std::string line;
    std::getline(ledgerLines, line);
    EXPECT_EQ(line, "{\"an earlier\":\"line\"}");
    std::vector<std::string> stdoutEnds;
    for (const auto& l : lines)
        if (l.find("\"event\":\"end\"") != std::string::npos)
            stdoutEnds.push_back(l.substr(0, l.size() - 1));
    std::vector<std::string> ledgerEnds;
    while (std::getline(ledgerLines, line)) ledgerEnds.push_back(line);
    EXPECT_EQ(ledgerEnds, stdoutEnds);
    EXPECT_EQ(ledgerEnds.size(), 5u);
}

// A fake station: USB chips appear (and re-enumerate) under /sys and /dev as the test says.
class StationTest : public GangTest {
  protected:
    void Plug(const std::string& tty, const std::string& usb) {
        const std::string iface = "sys/devices/pci0/usb1/" + usb + "/" + usb + ":1.0";
        test::RunCommand("mkdir -p '" + dir.File(iface) + "' '" + dir.File("sys/class/tty/" + tty) +
                         "' && ln -sfn '" + dir.File(iface) + "' '" +
                         dir.File("sys/class/tty/" + tty + "/device") + "'");
        test::WriteFile(dir.File("sys/devices/pci0/usb1/" + usb + "/idVendor"), "1209\n");
        test::WriteFile(dir.File("sys/devices/pci0/usb1/" + usb + "/idProduct"), "5841\n");
        test::WriteFile(dir.File("dev/" + tty), "");
    }
    void Unplug(const std::string& tty) {
        test::RunCommand("rm -rf '" + dir.File("sys/class/tty/" + tty) + "' '" +
                         dir.File("dev/" + tty) + "'");
    }
    bool Ended(const std::string& tty) const {
        for (const auto& e : Of("end"))
            if (Str(e, "port") == dir.File("dev/" + tty)) return true;
        return false;
    }
};

TEST_F(StationTest, ChipsAppearOneAfterAnotherAndAReEnumeratedChipKeepsItsSlot) {
    const std::string acm0 = dir.File("dev/ttyACM0"), acm1 = dir.File("dev/ttyACM1"),
                      acm2 = dir.File("dev/ttyACM2");
    chips.configs[acm0] = {ChipWithCsn(0x10)};
    chips.configs[acm2] = {ChipWithCsn(0x10)};  // the first chip again, under a new name
    chips.configs[acm1] = {ChipWithCsn(0x11)};
    Plug("ttyACM0", "1-4");
    int step = 0;
    Run({"ov58xx-gang", "-f", image.source, "--usb", "--count", "2", "--retry", "3"}, [&](Gang&) {
        Read();
        if (step == 0 && Ended("ttyACM0")) {
            // The chip restarts after its download and comes back as another tty.
            Unplug("ttyACM0");
            Plug("ttyACM2", "1-4");
            step = 1;
        } else if (step == 1 && Ended("ttyACM2")) {
            Plug("ttyACM1", "1-5");
            step = 2;
        }
    });
    ASSERT_EQ(step, 2);
    std::map<std::string, std::vector<QJsonObject>> ends;
    for (const auto& e : Of("end")) ends[Str(e, "port")].push_back(e);
    ASSERT_EQ(ends[acm0].size(), 1u);
    ASSERT_EQ(ends[acm2].size(), 1u);  // refused, and never retried
    ASSERT_EQ(ends[acm1].size(), 1u) << All();
    EXPECT_EQ(Str(ends[acm0][0], "outcome"), "ok");
    EXPECT_EQ(Str(ends[acm2][0], "outcome"), "refused");
    EXPECT_EQ(Str(ends[acm1][0], "outcome"), "ok");
    EXPECT_EQ(Str(ends[acm1][0], "csn"), "012345678911");
    // The slot is the physical USB path: the same for the chip under both names.
    EXPECT_EQ(Str(ends[acm0][0], "slot"), "usb-1.4:1.0");
    EXPECT_EQ(Str(ends[acm2][0], "slot"), "usb-1.4:1.0");
    EXPECT_EQ(Str(ends[acm1][0], "slot"), "usb-1.5:1.0");
    for (const auto& e : Of("start", acm2)) EXPECT_EQ(Str(e, "slot"), "usb-1.4:1.0");
    EXPECT_EQ(chips.chips[acm2].size(), 1u);
    EXPECT_EQ(chips.chips[acm2][0]->HostFrames(), 0);  // nothing was written into the refused chip
    EXPECT_TRUE(gang->AllOk());  // two chips verified; the refusal is the first chip seen again
    EXPECT_EQ(gang->Runs().size(), 3u);
}

TEST_F(StationTest, InterruptOnceLetsRunsFinishTwiceStopsThem) {
    sim::SimConfig slow;
    slow.delayMs = 20;
    chips.configs[dir.File("dev/ttyACM0")] = {slow};
    chips.configs[dir.File("dev/ttyACM1")] = {slow};
    Plug("ttyACM0", "1-1");
    Plug("ttyACM1", "1-2");
    bool interrupted = false;
    Run({"ov58xx-gang", "-f", image.source, "--usb"}, [&](Gang& g) {
        Read();
        if (!interrupted && !Of("progress").empty()) {
            g.Interrupt();
            interrupted = true;
            Plug("ttyACM3", "1-3");  // arrives after the interruption: no run starts on it
        }
    });
    ASSERT_TRUE(interrupted);
    ASSERT_EQ(Of("end").size(), 2u);
    for (const auto& e : Of("end")) EXPECT_EQ(Str(e, "outcome"), "ok") << Str(e, "port");
    EXPECT_TRUE(Of("start", dir.File("dev/ttyACM3")).empty());
    EXPECT_TRUE(gang->AllOk());

    // The second interruption stops the running downloads at once.
    host.quit = false;
    std::rewind(out);
    std::fclose(out);
    out = std::tmpfile();
    chips.configs["/dev/ttyG1"] = {slow};
    chips.configs["/dev/ttyG2"] = {slow};
    int interrupts = 0;
    Run({"ov58xx-gang", "-f", image.source, "-p", "/dev/ttyG1", "-p", "/dev/ttyG2"}, [&](Gang& g) {
        Read();
        if (interrupts < 2 && Of("progress").size() >= 2) {
            g.Interrupt();
            g.Interrupt();
            interrupts = 2;
        }
    });
    ASSERT_EQ(interrupts, 2);
    ASSERT_EQ(Of("end").size(), 2u);
    for (const auto& e : Of("end")) {
        EXPECT_NE(Str(e, "outcome"), "ok");
        EXPECT_LT(e["bytes"].toInteger(), 30000);
    }
    EXPECT_FALSE(gang->AllOk());
    for (const char* port : {"/dev/ttyG1", "/dev/ttyG2"})
        EXPECT_FALSE(chips.chips[port].back()->Complete());
}

TEST(GangOptions, WhatIsAcceptedAndWhatIsRefused) {
    const GangOptions o =
        ParseGangOptions({"ov58xx-gang", "-f", "fw.bin", "-p", "/dev/ttyUSB0", "--port", "ttyUSB1",
                          "-t", "3000", "--retry", "2", "--json", "--results", "r.jsonl"});
    EXPECT_EQ(o.image, "fw.bin");
    EXPECT_EQ(o.ports, (std::vector<std::string>{"/dev/ttyUSB0", "ttyUSB1"}));
    EXPECT_EQ(o.handshakeTimeoutMs, 3000);
    EXPECT_EQ(o.retries, 2);
    EXPECT_TRUE(o.json);
    EXPECT_EQ(o.resultsPath, "r.jsonl");
    EXPECT_EQ(ParseGangOptions({"g", "-f", "x", "--usb", "--count", "5"}).count, 5);
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"g", "-p", "/dev/ttyUSB0"},                          // no image
             {"g", "-f", "x"},                                     // no port
             {"g", "-f", "x", "--usb", "-p", "/dev/ttyUSB0"},      // both
             {"g", "-f", "x", "-p", "a", "--count", "2"},          // count without a station
             {"g", "-f", "x", "-p", "a", "-p", "a"},               // a port twice
             {"g", "-f", "x", "-p", "a", "--retry", "-1"},         // out of range
             {"g", "-f", "x", "-p", "a", "-t", "99999999999999"},  // beyond ten minutes
             {"g", "-f", "x", "-p", "a", "--retry"},               // no value
             {"g", "-f", "x", "-p", "a", "--colour"},              // unknown
             {"g", "--check", "-f", "x"}}) {
        EXPECT_THROW(ParseGangOptions(bad), std::invalid_argument) << bad.back();
    }
}

}  // namespace
}  // namespace ov::gang
