// The audio and beep stand-ins: their settings lines, the cue name and CRC-32 the audio
// stand-in reports for a sound, and the serial lines of each call.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "efi/protocols/tarn_audio.h"
#include "efi/protocols/tarn_beep.h"
#include "hw/fake/hw_fake.h"
#include "platform/audio_service.h"
#include "platform/beep_service.h"
#include "platform/settings_parser.h"
#include "platform/sound_cue.h"
#include "testfw/test_firmware.h"

namespace {

struct SoundLines {
  std::vector<uint32_t> audio;  // play times, 0 when not given
  int beeps = 0;
  std::vector<std::string> malformed;
};

SoundLines ParseSound(const std::string& text) {
  SoundLines s;
  SettingsSink sink{&s, nullptr, nullptr, [](void* ctx, size_t, const char* reason) {
                      static_cast<SoundLines*>(ctx)->malformed.push_back(reason);
                    }};
  sink.audio = [](void* ctx, uint32_t ms) { static_cast<SoundLines*>(ctx)->audio.push_back(ms); };
  sink.beep = [](void* ctx) { ++static_cast<SoundLines*>(ctx)->beeps; };
  std::vector<uint8_t> scratch(SettingsScratchSize(text.size()));
  ParsePlatformSettings(ByteSpan(text.data(), text.size()), SettingsScratch{scratch.data(), scratch.size()}, sink);
  return s;
}

TEST(SoundStandIns, SettingsLines) {
  SoundLines good = ParseSound("audio\naudio 500\nbeep\n");
  EXPECT_EQ(good.audio, (std::vector<uint32_t>{0, 500}));
  EXPECT_EQ(good.beeps, 1);
  EXPECT_TRUE(good.malformed.empty());
  SoundLines bad = ParseSound("audio 0\naudio x\naudio 60001\naudio 5 6\naudio \"5\"\nbeep now\n");
  EXPECT_TRUE(bad.audio.empty());
  EXPECT_EQ(bad.beeps, 0);
  EXPECT_EQ(bad.malformed.size(), 6u);
}

std::vector<uint8_t> Chunk(const char* tag, std::vector<uint8_t> payload) {
  std::vector<uint8_t> out(tag, tag + 4);
  uint32_t size = uint32_t(payload.size());
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(size >> (8 * i)));
  out.insert(out.end(), payload.begin(), payload.end());
  if (payload.size() & 1) out.push_back(0);
  return out;
}

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

std::vector<uint8_t> Wave(std::initializer_list<std::vector<uint8_t>> chunks) {
  std::vector<uint8_t> body = Join({Bytes("WAVE")});
  for (const auto& c : chunks) body.insert(body.end(), c.begin(), c.end());
  return Chunk("RIFF", body);
}

std::vector<uint8_t> Info(const std::string& name) {
  std::vector<uint8_t> text = Bytes(name);
  text.push_back(0);
  return Chunk("LIST", Join({Bytes("INFO"), Chunk("ISFT", Bytes("espeak")), Chunk("INAM", text)}));
}

TEST(SoundCue, NamesAndRefusals) {
  const std::vector<uint8_t> fmt = Chunk("fmt ", std::vector<uint8_t>(16, 1));
  const std::vector<uint8_t> odd_data = Chunk("data", std::vector<uint8_t>(7, 2));  // padded to even
  struct Case {
    const char* what;
    std::vector<uint8_t> sound;
    const char* name;  // null: none
  } cases[] = {
      {"after the data", Wave({fmt, odd_data, Info("Username")}), "Username"},
      {"before fmt", Wave({Info("Beep"), fmt, odd_data}), "Beep"},
      {"after another list", Wave({Chunk("LIST", Join({Bytes("adtl"), Chunk("labl", Bytes("x"))})), Info("VoxletOn")}),
       "VoxletOn"},
      {"no list", Wave({fmt, odd_data}), nullptr},
      {"not wave", Chunk("RIFF", Join({Bytes("AVI "), Info("x")})), nullptr},
      {"control character", Wave({Info("a\x01")}), nullptr},
      {"chunk past the end", Join({Bytes("RIFF"), {0xFF, 0xFF, 0, 0}, Bytes("WAVE"), Bytes("LIST"), {200, 0, 0, 0}}),
       nullptr},
      {"too short", Bytes("RIFF"), nullptr},
  };
  for (const Case& c : cases) {
    char name[32] = "junk";
    bool found = SoundCueName(ByteSpan(c.sound.data(), c.sound.size()), name, sizeof(name));
    EXPECT_EQ(found, c.name != nullptr) << c.what;
    EXPECT_STREQ(name, c.name ? c.name : "") << c.what;
  }
  // A long name is cut to the room given.
  std::vector<uint8_t> long_name = Wave({Info("UsernameOrPasswordIncorrect")});
  char small[9];
  ASSERT_TRUE(SoundCueName(ByteSpan(long_name.data(), long_name.size()), small, sizeof(small)));
  EXPECT_STREQ(small, "Username");
}

TEST(SoundCue, Crc32IsZlibs) {
  EXPECT_EQ(SoundCrc32(ByteSpan("123456789", 9)), 0xCBF43926u);
  EXPECT_EQ(SoundCrc32(ByteSpan(nullptr, 0)), 0u);
}

TEST(SoundStandIns, AudioReportsEveryCall) {
  TestFirmware fw;
  HwFakeClearSerialOutput();
  EXPECT_EQ(InstallAudioService(), EFI_NOT_FOUND);  // not asked for
  AudioServiceRequest(200);
  ASSERT_EQ(InstallAudioService(), EFI_SUCCESS);
  TarnAudioProtocol* audio = nullptr;
  ASSERT_EQ(gBS->LocateProtocol(&kTarnHighDefinitionAudioProtocolGuid, nullptr, reinterpret_cast<void**>(&audio)),
            EFI_SUCCESS);
  std::vector<uint8_t> sound = Wave({Chunk("data", {1, 2, 3, 4}), Info("Password")});
  ASSERT_EQ(audio->PlaySound(audio, sound.data(), sound.size()), EFI_SUCCESS);
  BOOLEAN playing = FALSE;
  ASSERT_EQ(audio->IsPlaying(audio, &playing), EFI_SUCCESS);
  EXPECT_TRUE(playing);
  EXPECT_EQ(audio->IsPlaying(audio, &playing), EFI_SUCCESS);  // no second line for the same answer
  fw.Advance100ns(2000000);
  ASSERT_EQ(audio->IsPlaying(audio, &playing), EFI_SUCCESS);
  EXPECT_FALSE(playing);
  ASSERT_EQ(audio->IsPlaying(audio, &playing), EFI_SUCCESS);
  EXPECT_FALSE(playing);  // stays finished
  EXPECT_EQ(audio->Beep(audio, 3, 200, 150, 0), EFI_SUCCESS);
  EXPECT_EQ(audio->PlaySound(audio, nullptr, 0), EFI_INVALID_PARAMETER);
  EXPECT_EQ(audio->IsPlaying(audio, nullptr), EFI_INVALID_PARAMETER);

  char crc[16];
  snprintf(crc, sizeof(crc), "0x%08X", SoundCrc32(ByteSpan(sound.data(), sound.size())));
  std::string expected = "platform: audio installed (a sound plays for 200 ms)\n"
                         "platform: audio: PlaySound " + std::to_string(sound.size()) + " bytes, crc32 " + crc +
                         ", cue Password\n"
                         "platform: audio: IsPlaying: playing\n"
                         "platform: audio: IsPlaying: finished\n"
                         "platform: audio: Beep count 3, tone 200, pause 150, reserved 0\n"
                         "platform: audio: PlaySound refused: no sound\n";
  EXPECT_EQ(HwFakeSerialOutput(), expected);
  RemoveAudioService();
  EXPECT_NE(gBS->LocateProtocol(&kTarnHighDefinitionAudioProtocolGuid, nullptr, reinterpret_cast<void**>(&audio)),
            EFI_SUCCESS);
  EXPECT_EQ(InstallAudioService(), EFI_NOT_FOUND);  // the request went with it
}

TEST(SoundStandIns, BeepReportsEveryCall) {
  TestFirmware fw;
  HwFakeClearSerialOutput();
  EXPECT_EQ(InstallBeepService(), EFI_NOT_FOUND);
  BeepServiceRequest();
  ASSERT_EQ(InstallBeepService(), EFI_SUCCESS);
  TarnBeepGenProtocol* beep = nullptr;
  ASSERT_EQ(gBS->LocateProtocol(&kTarnBeepGenProtocolGuid, nullptr, reinterpret_cast<void**>(&beep)), EFI_SUCCESS);
  EXPECT_EQ(beep->Prepare(beep, 1, 0, 400), EFI_SUCCESS);
  EXPECT_EQ(beep->Beep(beep, 2, 200000, 150000), EFI_SUCCESS);
  EXPECT_EQ(HwFakeSerialOutput(),
            "platform: beep generator installed\n"
            "platform: beep: Prepare count 1, tone 0, pause 400\n"
            "platform: beep: Beep count 2, tone 200000, pause 150000\n");
  RemoveBeepService();
  EXPECT_NE(gBS->LocateProtocol(&kTarnBeepGenProtocolGuid, nullptr, reinterpret_cast<void**>(&beep)), EFI_SUCCESS);
}

}  // namespace
