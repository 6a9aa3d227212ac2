// Any file handed to "ov58xx-sign --inspect" or "--verify": read record by record and
// checked against a public key.
#include "fuzz_support.h"
#include "signing/verify_signed.h"
#include "support/test_keys.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& dir = ov::fuzz::WorkDirectory();
    static const bool prepared = [&] {
        ov::test::TestKey(2048).WritePem(dir + "private.pem", dir + "public.pem");
        return true;
    }();
    (void)prepared;
    const std::string path = dir + "input.sigx";
    ov::fuzz::WriteInput(path, data, size);
    (void)ov::InspectSignedFile(path).OptionNames();
    (void)ov::VerifySignedFile(path, dir + "public.pem").Summary();
    return 0;
}
