#include "bootsim/boot_loader_sim.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstring>

#include "bootsim/signature_check.h"
#include "protocol/crc.h"
#include "protocol/frame.h"

namespace ov::sim {

namespace {

constexpr std::uint8_t kOk = 0, kCrcFailed = 1, kLengthError = 2, kVerifyError = 3, kResend = 4,
                       kAddressError = 6;

std::string Hex(const std::uint8_t* data, std::size_t n) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(GetLittleEndian(p, 4));
}

// The chip hashes with its own engine; OpenSSL plays that part here, independent of the
// loader's own digests.
struct Md {
    explicit Md(const EVP_MD* md) : ctx(EVP_MD_CTX_new()) { EVP_DigestInit_ex(ctx, md, nullptr); }
    ~Md() { EVP_MD_CTX_free(ctx); }
    Md(const Md&) = delete;
    Md& operator=(const Md&) = delete;
    void Update(const std::uint8_t* data, std::size_t n) { EVP_DigestUpdate(ctx, data, n); }
    std::vector<std::uint8_t> Final() {
        std::vector<std::uint8_t> out(EVP_MAX_MD_SIZE);
        unsigned size = 0;
        EVP_DigestFinal_ex(ctx, out.data(), &size);
        out.resize(size);
        return out;
    }
    EVP_MD_CTX* ctx;
};

}  // namespace

struct BootLoaderSim::Hashes {
    Md sha256{EVP_sha256()};
    Md sha512{EVP_sha512()};
    std::unique_ptr<Md> extra = std::make_unique<Md>(EVP_sha256());
};

BootLoaderSim::BootLoaderSim(SimConfig config)
    : config_(std::move(config)), hashes_(std::make_unique<Hashes>()) {}

BootLoaderSim::~BootLoaderSim() = default;

void BootLoaderSim::Failure(const std::string& what) { failures_.push_back(what); }

std::vector<SimAction> BootLoaderSim::Receive(const std::uint8_t* data, std::size_t size) {
    std::vector<SimAction> out;
    if (closed_) return out;
    pending_.insert(pending_.end(), data, data + size);
    std::size_t at = 0;
    while (at < pending_.size() && !closed_) {
        if (pending_[at] == 0x99) {
            // The sync pattern: the boot loader answers the first one, and only while no frame
            // came.
            std::size_t run = 0;
            while (at + run < pending_.size() && pending_[at + run] == 0x99) ++run;
            if (run < kSyncPatternSize && at + run == pending_.size()) break;  // wait for the rest
            at += run;
            if (!handshakeDone_ && run >= kSyncPatternSize && config_.silentFrom != 0) {
                handshakeDone_ = true;
                out.push_back(
                    {SimAction::Send, BuildChipInfoReply(config_.chip), config_.delayMs, false});
            }
            continue;
        }
        if (pending_[at] != kHostStart) {
            ++at;  // not ours: a real chip ignores line noise
            continue;
        }
        if (pending_.size() - at < kFrameHeaderSize) break;
        const std::size_t total = FrameLengthField(&pending_[at]) + kFrameHeaderSize;
        if (pending_.size() - at < total) break;
        std::vector<std::uint8_t> frame(pending_.begin() + static_cast<std::ptrdiff_t>(at),
                                        pending_.begin() + static_cast<std::ptrdiff_t>(at + total));
        at += total;
        OnFrame(frame, out);
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
    return out;
}

void BootLoaderSim::Reply(int step, std::uint8_t status, bool badCrc, std::vector<SimAction>& out) {
    if (config_.garbageBytes > 0) {
        std::vector<std::uint8_t> noise(static_cast<std::size_t>(config_.garbageBytes));
        for (std::size_t i = 0; i < noise.size(); ++i)
            noise[i] = static_cast<std::uint8_t>("garbage!"[i % 8]);
        out.push_back({SimAction::Send, noise, config_.delayMs, true});
    }
    auto reply = BuildStatusReply(step, status);
    if (badCrc) reply[reply.size() - 1] ^= 0xFF;
    out.push_back({SimAction::Send, reply, config_.garbageBytes > 0 ? 0 : config_.delayMs, false});
}

void BootLoaderSim::OnFrame(const std::vector<std::uint8_t>& frame, std::vector<SimAction>& out) {
    const int k = ++hostFrames_;
    if (config_.silentFrom >= 1 && k >= config_.silentFrom) return;
    const int step = frame[1];
    if (step == kCmdReboot) return;  // the chip restarts; nothing to answer
    if (!lastWasResend_[step]) ++frameNumber_[step];
    const FrameKey key{step, frameNumber_[step]};
    const bool badCrc = config_.badCrcAt.count(key) > 0;
    lastWasResend_[step] = false;

    std::uint8_t status;
    if (!FrameCrcOk(frame.data(), FrameCheckedLength(frame.data()))) {
        Failure("host frame " + std::to_string(k) + " (step " + std::to_string(step) +
                ") has a wrong CRC");
        status = kCrcFailed;
    } else if (auto injected = config_.statusAt.find(key);
               injected != config_.statusAt.end() && injected->second != kOk) {
        status = injected->second;
        if (status == kResend)
            lastWasResend_[step] = true;
        else
            Failure("injected status " + std::to_string(status) + " at step " +
                    std::to_string(step));
    } else if (auto left =
                   resendsLeft_
                       .try_emplace(key, config_.resendAt.count(key) ? config_.resendAt.at(key) : 0)
                       .first;
               left->second > 0) {
        --left->second;
        status = kResend;
        lastWasResend_[step] = true;
    } else {
        std::vector<SimAction> after;
        status = HandleStep(step, frame, after);
        Reply(step, status, badCrc, out);
        out.insert(out.end(), after.begin(), after.end());
        if (config_.closeAfter >= 1 && k >= config_.closeAfter) {
            out.push_back({SimAction::Close, {}, 0, false});
            closed_ = true;
        }
        return;
    }
    Reply(step, status, badCrc, out);
    if (config_.closeAfter >= 1 && k >= config_.closeAfter) {
        out.push_back({SimAction::Close, {}, 0, false});
        closed_ = true;
    }
}

std::uint8_t BootLoaderSim::HandleStep(int step, const std::vector<std::uint8_t>& frame,
                                       std::vector<SimAction>& out) {
    switch (step) {
        case kCmdStep2:
            return OnStep2(frame);
        case kCmdStep3: {
            const std::uint8_t status = OnStep3(frame);
            if (status == kOk && config_.writeKey && signed_) {
                // The public-key path: the chip takes over and reports the key written.
                out.push_back({SimAction::Send, BuildStatusReply(4, 3), config_.delayMs, false});
                imageCheck_ = "public key written";
                Finish(out);
            } else if (status == kOk && imageLength_ == 0) {
                VerifyImage(out);
            }
            return status;
        }
        case kCmdData:
            return OnData(frame, out);
        case kCmdExtraFile:
            return OnExtra(frame, out);
        default:
            Failure("unknown command " + std::to_string(step));
            return kVerifyError;
    }
}

std::uint8_t BootLoaderSim::OnStep2(const std::vector<std::uint8_t>& frame) {
    const std::size_t payload = FrameLengthField(frame.data()) - 2;
    if (payload < 2) return kLengthError;
    if (GetLittleEndian(&frame[4], 2) != config_.chip.stage) {
        Failure("step 2 did not echo the chip stage");
        return kVerifyError;
    }
    const std::size_t body = payload - 2;
    signed_ = !std::all_of(frame.begin() + 6, frame.begin() + 6 + static_cast<std::ptrdiff_t>(body),
                           [](std::uint8_t b) { return b == 0; });
    if (!signed_) {
        if (body != 285) return kLengthError;
        if (config_.chip.stage == kStageProduct) {
            Failure("product stage refuses an unsigned image");
            return kVerifyError;
        }
        return kOk;
    }
    if (body != 285 && body != 541) return kLengthError;
    keyRecord_.assign(frame.begin() + 6, frame.begin() + 6 + static_cast<std::ptrdiff_t>(body));
    if (keyRecord_[0] != 0x55) {
        Failure("key record does not start with 55");
        return kVerifyError;
    }
    return kOk;
}

std::uint8_t BootLoaderSim::OnStep3(const std::vector<std::uint8_t>& frame) {
    const std::size_t payload = FrameLengthField(frame.data()) - 2;
    const std::uint8_t* body = &frame[4];
    if (!signed_) {
        if (payload != 272) return kLengthError;
        if (Crc32(body, 268) != Le32(body + 268)) {
            Failure("image header CRC-32 wrong");
            return kCrcFailed;
        }
        imageLength_ = Le32(body + 8);
        announcedDigest_.assign(body + 12, body + 12 + 32);
        digestType_ = 1;
        return kOk;
    }
    const std::size_t s = keyRecord_.size() - 29;
    if (payload != s + 16) return kLengthError;
    signatureRecord_.assign(body, body + payload);
    if (Crc32(body, s + 12) != Le32(body + s + 12)) {
        Failure("signature record CRC-32 wrong");
        return kCrcFailed;
    }
    digestType_ = body[1];
    imageLength_ = Le32(body + 8);
    return kOk;
}

std::uint8_t BootLoaderSim::OnData(const std::vector<std::uint8_t>& frame,
                                   std::vector<SimAction>& out) {
    const std::size_t n = FrameLengthField(frame.data()) - 2;
    if (n == 0 || n > 1024 || received_ + n > imageLength_) {
        Failure("data frame of " + std::to_string(n) + " bytes does not fit the image");
        return kLengthError;
    }
    hashes_->sha256.Update(&frame[4], n);
    hashes_->sha512.Update(&frame[4], n);
    received_ += n;
    if (received_ == imageLength_) VerifyImage(out);
    return kOk;
}

void BootLoaderSim::VerifyImage(std::vector<SimAction>& out) {
    const auto sha256 = hashes_->sha256.Final();
    const auto sha512 = hashes_->sha512.Final();
    std::uint8_t status = kOk;
    if (!signed_) {
        imageCheck_ = "sha256 " + Hex(sha256.data(), sha256.size());
        if (announcedDigest_ != sha256) {
            Failure("image SHA-256 " + Hex(sha256.data(), 32) + " differs from the header's " +
                    Hex(announcedDigest_.data(), announcedDigest_.size()));
            status = kVerifyError;
        }
    } else {
        const std::size_t s = keyRecord_.size() - 29;
        const std::vector<std::uint8_t> modulus(
            keyRecord_.begin() + 21, keyRecord_.begin() + 21 + static_cast<std::ptrdiff_t>(s));
        const std::vector<std::uint8_t> exponent(
            keyRecord_.begin() + 21 + static_cast<std::ptrdiff_t>(s),
            keyRecord_.begin() + 25 + static_cast<std::ptrdiff_t>(s));
        const std::vector<std::uint8_t> signature(
            signatureRecord_.begin() + 12,
            signatureRecord_.begin() + 12 + static_cast<std::ptrdiff_t>(s));
        const auto& digest = digestType_ == 1 ? sha256 : sha512;
        const auto recovered = RecoverSignedBlock(modulus, exponent, signature);
        auto expect = [&](bool withLength) {
            std::vector<std::uint8_t> block(s, 0);
            std::vector<std::uint8_t> signedPart = digest;
            if (withLength)
                for (int i = 0; i < 4; ++i)
                    signedPart.push_back(static_cast<std::uint8_t>(imageLength_ >> (8 * i)));
            std::copy(signedPart.begin(), signedPart.end(),
                      block.end() - static_cast<std::ptrdiff_t>(signedPart.size()));
            return block;
        };
        const bool sigForm = !recovered.empty() && recovered == expect(false);
        const bool sigxForm = !recovered.empty() && recovered == expect(true);
        imageCheck_ = std::string(digestType_ == 1 ? "sha256 " : "sha512 ") +
                      Hex(digest.data(), digest.size()) + ", RSA-" + std::to_string(s * 8) +
                      " signature ok (" + (sigxForm ? "sigx" : "sig") + " form)";
        if (!sigForm && !sigxForm) {
            Failure("RSA signature does not match the image");
            status = kVerifyError;
        } else if (config_.chip.stage == kStageProduct &&
                   ((config_.chip.variant == 0 && !sigForm) ||
                    (config_.chip.variant > 0 && !sigxForm))) {
            Failure("signed form does not suit the chip variant");
            status = kVerifyError;
        }
    }
    const FrameKey key{5, 1};
    if (auto injected = config_.statusAt.find(key); injected != config_.statusAt.end()) {
        status = injected->second;
        if (status != kOk) Failure("injected status " + std::to_string(status) + " at step 5");
    }
    if (config_.silentVerify) return;  // a chip that hangs while it checks the image
    auto reply = BuildStatusReply(5, status);
    if (config_.badCrcAt.count(key)) reply.back() ^= 0xFF;
    out.push_back({SimAction::Send, reply, config_.delayMs, false});
    if (status == kOk && config_.chip.variant <= 0) Finish(out);
}

std::uint8_t BootLoaderSim::OnExtra(const std::vector<std::uint8_t>& frame,
                                    std::vector<SimAction>& out) {
    const std::size_t payload = FrameLengthField(frame.data()) - 2;
    const std::uint8_t kind = payload > 0 ? frame[4] : 0;
    if (kind == kExtraHeader) {
        if (payload != 43) return kLengthError;
        extraEraseOnly_ = frame[5] != 0;
        const std::uint32_t address = Le32(&frame[7]);
        extraLength_ = Le32(&frame[11]);
        extraReceived_ = 0;
        extraDigest_.assign(frame.begin() + 15, frame.begin() + 47);
        hashes_->extra = std::make_unique<Md>(EVP_sha256());
        if (address < 0x1000000) {
            Failure("additional file at address below 0x1000000");
            return kAddressError;
        }
        inExtra_ = !extraEraseOnly_;
        if (extraEraseOnly_) ++extrasDone_;
        return kOk;
    }
    if (kind == kExtraData) {
        const std::size_t n = payload - 1;
        if (!inExtra_ || n == 0 || extraReceived_ + n > extraLength_) {
            Failure("additional file data beyond its length");
            return kLengthError;
        }
        hashes_->extra->Update(&frame[5], n);
        extraReceived_ += static_cast<std::uint32_t>(n);
        if (extraReceived_ == extraLength_) {
            inExtra_ = false;
            ++extrasDone_;
            if (hashes_->extra->Final() != extraDigest_) {
                Failure("additional file " + std::to_string(extrasDone_) +
                        " differs from its digest");
                return kCrcFailed;
            }
        }
        return kOk;
    }
    if (kind == kExtraEnd) {
        Finish(out);
        return kOk;
    }
    return kVerifyError;
}

void BootLoaderSim::Finish(std::vector<SimAction>& out) {
    complete_ = true;
    if (config_.efuseResult) {
        auto reply = BuildStatusReply(7, *config_.efuseResult);
        out.push_back({SimAction::Send, reply, config_.delayMs, false});
    }
    if (config_.closeAtEnd) {
        out.push_back({SimAction::Close, {}, 0, false});
        closed_ = true;
    }
}

std::string BootLoaderSim::Verdict() const {
    if (!failures_.empty()) return "verdict: FAILED " + failures_.front();
    if (!complete_)
        return "verdict: INCOMPLETE after " + std::to_string(hostFrames_) + " host frames (" +
               std::to_string(received_) + " of " + std::to_string(imageLength_) + " image bytes)";
    std::string text =
        "verdict: OK image verified (" + std::to_string(received_) + " bytes, " + imageCheck_ + ")";
    if (extrasDone_ > 0) text += ", " + std::to_string(extrasDone_) + " additional files verified";
    return text;
}

}  // namespace ov::sim
