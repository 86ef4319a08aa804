// Programme files: the guide's example read, written and read back, and one line for each fault.
#include "core/programme/programme_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>

#include "support/test_node.h"

namespace torvwy::core {
namespace {

constexpr std::string_view kExample = R"([Programme]
Name=Track A
Partitions=64
Amplitude=full            ; full | auto | a value in EU
Residue=half              ; half | full | discard | repeated
Gate=0
Curve=bs7608:F2
Frequency=                ; optional, else each node's own
[Event 2]
Data=rig
Test=track
Code=1
Node=brake
Repeats=300
Distance=0.2
[Event 1]
Data=rig
Test=track
Code=1
Node=strain_3
Repeats=40
Scale=1.0                 ; optional
Label=ride course         ; optional
Duration=
)";

TEST(ProgrammeFile, ReadsTheExampleAndWritesItBackTheSame) {
  auto programme = ParseProgrammeText(kExample, "/data/programmes");
  ASSERT_TRUE(programme.ok()) << programme.error().detail;
  EXPECT_EQ(programme->name, "Track A");
  EXPECT_EQ(programme->partitions, 64);
  EXPECT_EQ(programme->amplitude, "full");
  EXPECT_EQ(programme->curve, "bs7608:F2");
  EXPECT_FALSE(programme->frequency_hz.has_value());  // an empty value is not given
  ASSERT_EQ(programme->events.size(), 2u);
  // In the order of their numbers, not of the file.
  EXPECT_EQ(programme->events[0].node, "strain_3");
  EXPECT_EQ(programme->events[0].DisplayLabel(), "ride course");
  EXPECT_FALSE(programme->events[0].duration_s.has_value());
  EXPECT_EQ(programme->events[1].repeats, 300);
  EXPECT_EQ(programme->events[1].DisplayLabel(), "Event 2");
  EXPECT_EQ(*programme->events[1].distance_km, 0.2);
  auto choice = ProgrammeFatigueChoice(*programme);
  ASSERT_TRUE(choice.ok());
  EXPECT_EQ(choice->curve.name, "bs7608:F2");

  programme->gate = 0.1 + 0.2;  // a number that needs all its digits
  programme->events[0].scale = 1.0 / 3.0;
  auto back = ParseProgrammeText(ProgrammeText(*programme), "/data/programmes");
  ASSERT_TRUE(back.ok()) << back.error().detail;
  EXPECT_EQ(back->gate, programme->gate);
  EXPECT_EQ(back->events[0].scale, programme->events[0].scale);
  EXPECT_EQ(ProgrammeText(*back), ProgrammeText(*programme));
}

TEST(ProgrammeFile, SavesThroughTheSaveRoutineAndFindsCurveFilesBesideIt) {
  testing::TempDir dir;
  {
    std::ofstream curve(dir.path() / "weld.ini");
    curve << "[Curve]\nReferenceRange=90\nReferenceCycles=2e6\nSlope=3\n";
  }
  auto programme = ParseProgrammeText(kExample, dir.path());
  ASSERT_TRUE(programme.ok());
  programme->curve = "weld.ini";
  const auto path = dir.path() / "track.programme";
  ASSERT_TRUE(SaveProgrammeFile(path, *programme).ok());
  auto read = ReadProgrammeFile(path);
  ASSERT_TRUE(read.ok()) << read.error().detail;
  EXPECT_EQ(read->folder, dir.path());
  auto choice = ProgrammeFatigueChoice(*read);
  ASSERT_TRUE(choice.ok()) << choice.error().detail;
  EXPECT_EQ(choice->curve.name, "weld.ini");

  // A folder where the file should be is refused, nothing written.
  std::filesystem::create_directory(dir.path() / "taken");
  EXPECT_FALSE(SaveProgrammeFile(dir.path() / "taken", *programme).ok());
  EXPECT_FALSE(ReadProgrammeFile(dir.path() / "none.programme").ok());
  // A FIFO named as the file is refused at once rather than waited on.
  ASSERT_EQ(::mkfifo((dir.path() / "pipe.programme").c_str(), 0600), 0);
  EXPECT_FALSE(ReadProgrammeFile(dir.path() / "pipe.programme").ok());
}

/// The one-line error for the example with `from` replaced by `to`.
std::string FaultOf(std::string_view from, std::string_view to) {
  std::string text(kExample);
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  text.replace(at, from.size(), to);
  auto programme = ParseProgrammeText(text, "/data");
  EXPECT_FALSE(programme.ok()) << to;
  return programme.ok() ? "" : programme.error().detail;
}

TEST(ProgrammeFile, NamesTheSectionAndKeyOfEachFault) {
  EXPECT_EQ(FaultOf("Repeats=40", "Repeats=0"),
            "[Event 1] Repeats: \"0\" is not a whole number of 1 or more");
  EXPECT_EQ(FaultOf("Repeats=40", "Repeats=2.5"),
            "[Event 1] Repeats: \"2.5\" is not a whole number of 1 or more");
  EXPECT_EQ(FaultOf("Scale=1.0", "Scale=-1"),
            "[Event 1] Scale: \"-1\" is not a finite number above 0");
  EXPECT_EQ(FaultOf("Scale=1.0", "Scale=inf"),
            "[Event 1] Scale: \"inf\" is not a finite number above 0");
  EXPECT_EQ(FaultOf("Scale=1.0", "Colour=red"), "[Event 1] Colour: unknown key");
  EXPECT_EQ(FaultOf("Gate=0", "Gate=0\nGATE=1"), "[Programme] GATE: given twice");
  EXPECT_EQ(FaultOf("[Event 1]", "[Event 2]"), "[Event 2] is given twice");
  EXPECT_EQ(FaultOf("Node=brake\n", ""), "[Event 2] Node: not given");
  EXPECT_EQ(FaultOf("Residue=half", "Residue=twice"),
            "[Programme] Residue: \"twice\" is not one of half, full, discard, repeated");
  EXPECT_EQ(FaultOf("Amplitude=full", "Amplitude=big"),
            "[Programme] Amplitude: \"big\" is neither full, auto nor a number above 0");
  EXPECT_EQ(FaultOf("Gate=0", "Gate=-2"),
            "[Programme] Gate: -2 is not a finite number of 0 or more");
  EXPECT_EQ(FaultOf("Distance=0.2", "Distance=0"),
            "[Event 2] Distance: 0 is not a finite number of kilometres above 0");
  EXPECT_EQ(FaultOf("Label=ride course", "Label=Event 2"),
            "[Event 2] Label: \"Event 2\" is the label of Event 1 too");
  EXPECT_EQ(FaultOf("[Event 2]", "[Event two]"),
            "programme file line 9: [Event two]: an event section is [Event N] with N a whole "
            "number of 1 or more");
  EXPECT_EQ(FaultOf("[Programme]", "[Setup]"), "programme file line 1: unknown section [Setup]");
  EXPECT_EQ(FaultOf("Curve=bs7608:F2", "Curve=bs7608:Z"),
            "[Programme] Curve: \"Z\" is not a weld class (B C D E F F2 G W S T)");
  EXPECT_EQ(FaultOf("Curve=bs7608:F2", "Curve=bs7608:F2\nUltimate=500"),
            "[Programme] Ultimate: needs MeanCorrection");
  EXPECT_NE(FaultOf("Curve=bs7608:F2", "Curve=bs7608:F2\nMeanCorrection=goodman")
                .find("[Programme] MeanCorrection: "),
            std::string::npos);
  auto none = ParseProgrammeText("[Programme]\nName=x\n", "/data");
  ASSERT_FALSE(none.ok());
  EXPECT_EQ(none.error().detail, "the programme has no [Event N] section");
}

TEST(ProgrammeFile, RefusesATextTheFileCantKeep) {
  auto programme = ParseProgrammeText(kExample, "/data");
  ASSERT_TRUE(programme.ok());
  programme->events[0].label = "ride; lap 2";
  const auto checked = CheckProgramme(*programme);
  ASSERT_FALSE(checked.ok());
  EXPECT_EQ(checked.error().detail.rfind("[Event 1] Label: ", 0), 0u);
  testing::TempDir dir;
  EXPECT_FALSE(SaveProgrammeFile(dir.path() / "p.programme", *programme).ok());
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "p.programme"));
}

}  // namespace
}  // namespace torvwy::core
