// CD audio through the scripted drive: the music bits, ranges, the open
// drive reused, readiness, stop and the volume mapping.
#include <algorithm>

#include "routinen/media/tests/sound_fixture.h"

using namespace soundtest;

namespace {

using Log = std::vector<std::string>;

class Cd : public SoundTest {};

TEST_F(Cd, PlaysOnlyWithCdMusicAndReusesTheOpenDrive) {
  QoESystemPtr->SoundStatus = SOUND_CDROM;  // no MUSIC
  EXPECT_EQ(PlayCDTrack1(nullptr, 0, 4, 4), 0);
  EXPECT_TRUE(cd.log.empty());
  QoESystemPtr->SoundStatus = SOUND_CDROM | SOUND_MUSIC;
  EXPECT_EQ(PlayCDTrack1(nullptr, 0, 4, 4), 1);
  EXPECT_EQ(cd.log, (Log{"open", "play 4-4"}));
  EXPECT_EQ(IsCDReady(nullptr, 0), 0);  // playing
  EXPECT_TRUE(Logged("IsCDReady 3 1\n"));
  cd.log.clear();
  EXPECT_EQ(PlayCDTrack1(nullptr, 0, 2, 3), 1);  // the open drive, a new run
  EXPECT_EQ(cd.log, (Log{"play 2-3"}));
  cd.playing = 0;  // the run ended
  EXPECT_EQ(IsCDReady(nullptr, 0), 1);
  cd.log.clear();
  EXPECT_EQ(StopCD(nullptr, 0), 1);
  EXPECT_EQ(cd.log, (Log{"status", "close"}));  // stopped already: no stop
  cd.log.clear();
  EXPECT_EQ(StopCD(nullptr, 0), 0);  // nothing open: nothing sent
  EXPECT_TRUE(cd.log.empty());
  EXPECT_EQ(PlayCDTrack1(nullptr, 0, 9, 9), 1);
  cd.log.clear();
  EXPECT_EQ(StopCD(nullptr, 0), 1);
  EXPECT_EQ(cd.log, (Log{"status", "stop", "close"}));
}

TEST_F(Cd, RangesToTheDiscsEndAndBadRanges) {
  cd.tracks = 12;
  EXPECT_EQ(PlayCDTrack1(nullptr, 0, 11, 12), 1);  // ends on the last track
  EXPECT_EQ(cd.log.back(), "play 11-end");
  EXPECT_EQ(PlayCDTrack1(nullptr, 0, 13, 13), 0);  // not on the disc
  EXPECT_TRUE(Logged("PlayCDTrack3: Ungueltige Titelangabe\n"));
  EXPECT_EQ(cd.log.back(), "close");
  EXPECT_EQ(Sound().CdOpen, 0u);
  EXPECT_EQ(PlayCDTrack1(nullptr, 0, 5, 4), 0);
  cd.tracks = 0;  // no disc
  log.clear();
  EXPECT_EQ(PlayCDTrack1(nullptr, 0, 2, 2), 0);
  EXPECT_TRUE(Logged("PlayCDTrack3: Keine CD im Laufwerk\n"));
}

TEST_F(Cd, ReadinessWithoutDriveAndOnStatusErrors) {
  cd.present = 0;
  EXPECT_EQ(IsCD(nullptr, 0), 0);
  EXPECT_TRUE(Logged("IsCD: Kein CD-Laufwerk vorhanden\n"));
  // The map asks on every click: the same fault is logged once.
  for (int i = 0; i < 20; i++) EXPECT_EQ(IsCD(nullptr, 0), 0);
  EXPECT_EQ(std::count(log.begin(), log.end(), "IsCD: Kein CD-Laufwerk vorhanden\n"), 1);
  EXPECT_EQ(IsCDReady(nullptr, 0), 0);
  EXPECT_EQ(PlayCDTrack1(nullptr, 0, 2, 2), 0);
  EXPECT_TRUE(Logged("PlayCDTrack1: Kein CD-Laufwerk vorhanden\n"));
  cd.present = 1;
  cd.log.clear();
  EXPECT_EQ(IsCD(nullptr, 0), 1);  // opened and closed again
  EXPECT_EQ(cd.log, (Log{"open", "close"}));
  // Once found, a drive that goes away is logged again.
  cd.present = 0;
  log.clear();
  EXPECT_EQ(IsCD(nullptr, 0), 0);
  EXPECT_TRUE(Logged("IsCD: Kein CD-Laufwerk vorhanden\n"));
  cd.present = 1;
  cd.log.clear();
  EXPECT_EQ(IsCD(nullptr, 0), 1);
  // A drive not held open cannot tell its status: ready.
  log.clear();
  EXPECT_EQ(IsCDReady(nullptr, 0), 1);
  EXPECT_TRUE(Logged("IsCDReady: Geraet nicht geoeffnet\n"));
  ASSERT_EQ(PlayCDTrack1(nullptr, 0, 2, 2), 1);
  cd.failStatus = 1;
  EXPECT_EQ(IsCDReady(nullptr, 0), 1);
  EXPECT_TRUE(Logged("IsCDReady: Status nicht lesbar\n"));
  // The default platform drive: none there.
  SelectCdDrive(nullptr);
  Sound().CdOpen = 0;
  EXPECT_EQ(IsCD(nullptr, 0), 0);
  EXPECT_EQ(IsCDReady(nullptr, 0), 0);
}

TEST_F(Cd, VolumeFromTheOptionsPercentage) {
  cd.volumeControls = 1;
  const std::pair<uint8_t, uint32_t> cases[] = {{0, 0}, {50, 32767}, {100, 65535}, {250, 65535}};
  for (auto [percent, level] : cases) {
    QoESystemPtr->Optionen.cd_volume = percent;
    EXPECT_EQ(SetCDVolume(0), 1);
    EXPECT_EQ(cd.volume, level) << int{percent};
  }
  cd.volumeControls = -1;
  EXPECT_EQ(SetCDVolume(0), 1);
  EXPECT_TRUE(Logged("SetCDVolume: Windows liefert keine Ger\xe4te zur\xfc" "ck. Deshalb kein Volume-Control m\xf6glich!\n"));
  QoESystemPtr->Optionen.cd_volume = 50;
}

}  // namespace
