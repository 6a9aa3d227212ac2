#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace ov {

inline constexpr const char* kSettingsSection = "MainConfig Setting";
inline constexpr const char* kSettingsFileName = "OVLoader.ini";

// The settings file in the program directory.
std::string ConfigFilePath();

// Text to integer: hexadecimal when "0X" appears anywhere (any case), else decimal, as strtol
// reads them; no digits give 0.
int ParseInteger(const std::string& text);

// The section "MainConfig Setting" held in memory, keys case-sensitive in byte order, every
// change written through to the file.
class MainConfig {
  public:
    MainConfig() = default;
    // Loading first removes what saves killed mid-write left beside the file. A file that is
    // there but cannot be read gives the defaults, is never written while this configuration
    // lives (its keys are not in memory to be kept), and LoadWarning() says why.
    explicit MainConfig(const std::string& path);

    void Load(const std::string& path);
    std::string Get(const std::string& key) const;
    // Each change is kept in memory whether or not the file could be written. A write that left
    // the file, or some value in it (one holding a line break), as it was raises a LoaderError
    // (SettingsWriteError) that names the file and says why.
    void Set(const std::string& key, const std::string& value);
    // Several values, then one write of the file.
    void SetMany(const std::vector<std::pair<std::string, std::string>>& entries);
    // Several values in memory only; WriteAll (or a SettingsSaver) writes them.
    void Keep(const std::vector<std::pair<std::string, std::string>>& entries);
    void WriteAll() const;
    void ResetToDefaults();
    // Why the load found the file but could not read it, naming the file; empty when it read it
    // or found none.
    const std::string& LoadWarning() const { return loadWarning; }

    const std::string& Path() const { return path; }
    const std::map<std::string, std::string>& Values() const { return values; }

    // Each key named once: its constant, its reader and its writer.
#define OV_SETTING(Name, key)                              \
    static constexpr const char* k##Name = key;            \
    std::string Get##Name() const { return Get(k##Name); } \
    void Set##Name(const std::string& value) { Set(k##Name, value); }
    OV_SETTING(FileVersion, "FileVersion")
    OV_SETTING(HashType, "hashtype")
    OV_SETTING(EraseChip, "earseChip")
    OV_SETTING(ReserveIv, "reserveIV")
    OV_SETTING(UnlockFlash, "unlockFlash")
    OV_SETTING(Esn, "ESN")
    OV_SETTING(Hex, "Hex")
    OV_SETTING(ETime, "ETIME")
    OV_SETTING(ETimeFactor, "ETIME_FACTOR")
    OV_SETTING(RsaPriFilePath, "RsaPriFilePath")
    OV_SETTING(AppFilePath, "AppFilePath")
    OV_SETTING(PublicSecretKeyFilePath, "PublicSecretKeyFilePath")
    OV_SETTING(Com, "Com")
    OV_SETTING(BaudRate, "BaudRate")
    OV_SETTING(Batch, "batch")
    OV_SETTING(SignAppFilePath, "signAppFilePath")
    OV_SETTING(TimeoutInDataMs, "timeoutInData_Ms")
    OV_SETTING(DefExt, "lpszDefExt")
    OV_SETTING(HandshakeTimeout, "HandshakeTimeout")
#undef OV_SETTING
    // Read, never written by the program.
    std::string GetDebug() const { return Get("debug"); }
    std::string GetContinuousDownload() const { return Get("ContinuousDownload"); }
    std::string GetUsbVid() const { return Get("UsbVid"); }
    std::string GetUsbPid() const { return Get("UsbPid"); }

  private:
    std::string path;
    std::string section;
    std::map<std::string, std::string> values;
    // The errno of a load that found the file but could not read it; 0 when it read it or found
    // none.
    int readError = 0;
    std::string loadWarning;
};

}  // namespace ov
