#include "ParameterFile.h"

#include <locale>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct ReadResult {
  std::string message;
  GenerationSettings settings;
};

ReadResult Read(const std::string& text) {
  std::istringstream in(text);
  ReadResult result;
  result.message = ReadParameterFile(in, result.settings);
  return result;
}

// Reads |text| and returns the first message of reading or validation.
std::string Check(const std::string& text) {
  ReadResult result = Read(text);
  if (!result.message.empty()) return result.message;
  return ValidateSettings(result.settings);
}

// A numeric facet with a decimal comma, as some national locales have.
struct CommaDecimal : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\3"; }
};

}  // namespace

TEST(ParameterFile, ReadsTheTypicalFile) {
  ReadResult r = Read("Layers = 3\nLayerSize = 4 8 2\nBias = true\nMinWeight = -0.5\nMaxWeight = 0.5\n"
                      "FileName = xor.wgt\n");
  EXPECT_EQ(r.message, "");
  EXPECT_EQ(r.settings.layers, 3);
  EXPECT_EQ(r.settings.layerSizes, (std::vector<int>{4, 8, 2}));
  EXPECT_TRUE(r.settings.bias);
  EXPECT_EQ(r.settings.minWeight, -0.5f);
  EXPECT_EQ(r.settings.maxWeight, 0.5f);
  EXPECT_EQ(r.settings.fileName, "xor.wgt");
  EXPECT_EQ(ValidateSettings(r.settings), "");
}

TEST(ParameterFile, KeepsDefaultsForMissingSettings) {
  ReadResult r = Read("");
  EXPECT_EQ(r.message, "");
  EXPECT_EQ(r.settings.layers, 0);
  EXPECT_TRUE(r.settings.layerSizes.empty());
  EXPECT_FALSE(r.settings.bias);
  EXPECT_EQ(r.settings.minWeight, -5.0f);
  EXPECT_EQ(r.settings.maxWeight, 5.0f);
  EXPECT_EQ(r.settings.fileName, "new.wgt");
}

TEST(ParameterFile, SeparatorRules) {
  EXPECT_EQ(Read("Layers : 3").settings.layers, 3);  // any separator character
  EXPECT_EQ(Read("Layers =3").settings.layers, 3);   // the value may touch it
  EXPECT_EQ(Read("Layers\n=\n3\n").settings.layers, 3);
  EXPECT_EQ(Read("Layers 12").settings.layers, 2);   // first digit taken as separator
  ReadResult joined = Read("Layers=3\n");           // one word: no keyword, skipped
  EXPECT_EQ(joined.message, "");
  EXPECT_EQ(joined.settings.layers, 0);
  EXPECT_EQ(Read("LayerSize=4").settings.layerSizes.size(), 0u);
  EXPECT_EQ(Read("Layers = 2 LayerSize =5 6").settings.layerSizes, (std::vector<int>{5, 6}));
}

TEST(ParameterFile, KeywordsIgnoreLetterCase) {
  ReadResult r = Read("layers = 2\nLAYERSIZE = 3 4\nbIaS = TRUE\nminweight = -1\nMAXWEIGHT = 2\nfilename = a.wgt");
  EXPECT_EQ(r.message, "");
  EXPECT_EQ(r.settings.layers, 2);
  EXPECT_EQ(r.settings.layerSizes, (std::vector<int>{3, 4}));
  EXPECT_TRUE(r.settings.bias);
  EXPECT_EQ(r.settings.minWeight, -1.0f);
  EXPECT_EQ(r.settings.maxWeight, 2.0f);
  EXPECT_EQ(r.settings.fileName, "a.wgt");
  // A keyword is matched as a whole word, not as a prefix.
  EXPECT_EQ(Read("Layer = 3 Layersx = 4 Layers").message, "Layers value missing or invalid");
  EXPECT_EQ(Read(std::string("Layers\0x = 3", 12)).settings.layers, 0);
}

TEST(ParameterFile, BiasIsTrueOnlyForTheWordTrue) {
  EXPECT_TRUE(Read("Bias = true").settings.bias);
  EXPECT_TRUE(Read("Bias = TRUE").settings.bias);
  EXPECT_TRUE(Read("Bias = True").settings.bias);
  EXPECT_FALSE(Read("Bias = yes").settings.bias);
  EXPECT_FALSE(Read("Bias = 1").settings.bias);
  EXPECT_FALSE(Read("Bias = false").settings.bias);
  EXPECT_FALSE(Read("Bias = truely").settings.bias);
  EXPECT_FALSE(Read("Layers = 1").settings.bias);
  EXPECT_FALSE(Read("Bias = true Bias = false").settings.bias);
}

TEST(ParameterFile, RepeatedKeywordKeepsLastValue) {
  ReadResult r = Read("Layers = 2 Layers = 1 FileName = a FileName = b MinWeight = 1 MinWeight = -2 "
                      "LayerSize = 7 LayerSize = 8");
  EXPECT_EQ(r.settings.layers, 1);
  EXPECT_EQ(r.settings.fileName, "b");
  EXPECT_EQ(r.settings.minWeight, -2.0f);
  EXPECT_EQ(r.settings.layerSizes, (std::vector<int>{8}));
}

TEST(ParameterFile, ReadsValueAtEndOfFileWithoutLineEnd) {
  EXPECT_EQ(Read("Layers = 4").settings.layers, 4);
  EXPECT_EQ(Read("FileName = out.wgt").settings.fileName, "out.wgt");
  EXPECT_EQ(Read("MaxWeight = 0.25").settings.maxWeight, 0.25f);
  EXPECT_EQ(Read("Layers = 2 LayerSize = 1 2").settings.layerSizes, (std::vector<int>{1, 2}));
}

TEST(ParameterFile, SkipsUnknownWords) {
  ReadResult r = Read("# a comment line\nMomentum = 0.9\nLayers = 1 LayerSize = 3 extra words 5\n");
  EXPECT_EQ(r.message, "");
  EXPECT_EQ(r.settings.layers, 1);
  EXPECT_EQ(r.settings.layerSizes, (std::vector<int>{3}));
}

TEST(ParameterFile, SizeListEndsAtTheFirstWordThatIsNoNumber) {
  // The word that ends the list ends the reading too: nothing after it counts.
  ReadResult r = Read("Layers = 3 LayerSize = 2 3\nBias = true\n");
  EXPECT_EQ(r.message, "");
  EXPECT_EQ(r.settings.layerSizes, (std::vector<int>{2, 3}));
  EXPECT_FALSE(r.settings.bias);
  EXPECT_EQ(ValidateSettings(r.settings), "LayerSize must list 3 sizes");
  // A short list is not mended by a later one.
  EXPECT_EQ(Check("Layers = 3\nLayerSize = 2 3\nLayerSize = 2 3 1\n"), "LayerSize must list 3 sizes");
  EXPECT_EQ(Check("Layers = 3\nLayerSize = 2, 3, 1\n"), "LayerSize must list 3 sizes");
  // A complete list is followed by any word.
  r = Read("Layers = 2 LayerSize = 2 3 Bias = true");
  EXPECT_EQ(r.settings.layerSizes, (std::vector<int>{2, 3}));
  EXPECT_TRUE(r.settings.bias);

  // A word that begins like a number but is none is a bad size, not the end.
  EXPECT_EQ(Read("Layers = 3 LayerSize = 2 3.5 1").message, "LayerSize value missing or invalid");
  EXPECT_EQ(Read("Layers = 2 LayerSize = 2 4x").message, "LayerSize value missing or invalid");
  EXPECT_EQ(Read("Layers = 1 LayerSize = 99999999999").message, "LayerSize value missing or invalid");
  // So is a number written with a Unicode minus, or glued to another letter.
  EXPECT_EQ(Read("Layers = 3 LayerSize = 2 \xE2\x88\x92" "1 3").message, "LayerSize value missing or invalid");
  EXPECT_EQ(Read("Layers = 2 LayerSize = 2 1\xC3\xA9").message, "LayerSize value missing or invalid");
}

// A number followed by punctuation is read as the number, the punctuation as
// a word of its own; a rest that would make the number another value is
// refused.
TEST(ParameterFile, NumbersMayBeFollowedByPunctuation) {
  ReadResult r = Read("Layers = 3;\nLayerSize = 4 8 2;\nMinWeight = -0.5;\nMaxWeight = 0.5,\nSeed = 7.\n");
  EXPECT_EQ(r.message, "");
  EXPECT_EQ(r.settings.layers, 3);
  EXPECT_EQ(r.settings.layerSizes, (std::vector<int>{4, 8, 2}));
  EXPECT_EQ(r.settings.minWeight, -0.5f);
  EXPECT_EQ(r.settings.maxWeight, 0.5f);
  EXPECT_EQ(r.settings.seed, 7u);
  EXPECT_EQ(Read("Layers = 2) Bias = true").settings.bias, true);  // the rest is a word of its own
  EXPECT_EQ(Read("Layers = 2- Bias = true").settings.layers, 2);
  EXPECT_EQ(Read("MaxWeight = 2.5e-1; Bias = true").settings.maxWeight, 0.25f);

  struct Refused {
    const char* text;
    const char* message;
  };
  for (const Refused& c : {Refused{"Layers = 3.5", "Layers value missing or invalid"},
                           Refused{"Layers = 1e5", "Layers value missing or invalid"},
                           Refused{"Layers = 1,000", "Layers value missing or invalid"},
                           Refused{"Layers = 3_000", "Layers value missing or invalid"},
                           Refused{"Layers = 3-4", "Layers value missing or invalid"},
                           Refused{"Layers = 3\xC3\xA9", "Layers value missing or invalid"},
                           Refused{"MinWeight = -0,5", "MinWeight value missing or invalid"},
                           Refused{"MaxWeight = 0.5.5", "MaxWeight value missing or invalid"},
                           Refused{"MaxWeight = 0.5e", "MaxWeight value missing or invalid"},
                           Refused{"MaxWeight = 1\xE2\x80\xAF", "MaxWeight value missing or invalid"},
                           Refused{"Seed = 7+1", "Seed value missing or invalid"},
                           Refused{"Layers = 1 LayerSize = 2,5", "LayerSize value missing or invalid"}}) {
    EXPECT_EQ(Read(c.text).message, c.message) << c.text;
  }
}

// Some editors begin a UTF-8 file with a byte order mark.
TEST(ParameterFile, SkipsALeadingByteOrderMark) {
  ReadResult r = Read("\xEF\xBB\xBFLayers = 1\nLayerSize = 2\n");
  EXPECT_EQ(r.message, "");
  EXPECT_EQ(r.settings.layers, 1);
  EXPECT_EQ(Read("\xEF\xBB\xBF\nLayers = 1").settings.layers, 1);
  // Only at the start of the file.
  EXPECT_EQ(Read("Layers = 1 \xEF\xBB\xBFLayers = 2").settings.layers, 1);
}

TEST(ParameterFile, ShortSizeListIsReported) {
  EXPECT_EQ(Check("Layers = 3"), "LayerSize must list 3 sizes");                    // missing
  EXPECT_EQ(Check("LayerSize = 2 3 1 Layers = 3"), "LayerSize must list 3 sizes");  // before Layers
  EXPECT_EQ(Check("Layers = 3 LayerSize = 2 3"), "LayerSize must list 3 sizes");    // too few, end of file
  EXPECT_EQ(Check("Layers = 1 LayerSize = 2 Layers = 2"), "LayerSize must list 2 sizes");  // raised after
  EXPECT_EQ(Check("Layers = 1 LayerSize ="), "LayerSize must list 1 size");
  EXPECT_EQ(Check("Layers = 1 LayerSize"), "LayerSize must list 1 size");
  // An absurd count: the list holds only what the file holds.
  ReadResult absurd = Read("Layers = 2000000000 LayerSize = 1 2 3");
  EXPECT_EQ(absurd.message, "");
  EXPECT_EQ(absurd.settings.layerSizes.size(), 3u);
  EXPECT_EQ(ValidateSettings(absurd.settings), "LayerSize must list 2000000000 sizes");
}

TEST(ParameterFile, LoweredLayerCountDropsExtraSizes) {
  ReadResult r = Read("Layers = 3 LayerSize = 2 3 1 Layers = 2");
  EXPECT_EQ(r.settings.layerSizes, (std::vector<int>{2, 3}));
  EXPECT_EQ(ValidateSettings(r.settings), "");
  // A bad size beyond the final count no longer counts.
  EXPECT_EQ(Check("Layers = 3 LayerSize = 2 3 0 Layers = 2"), "");
}

TEST(ParameterFile, UnreadableValueStopsTheReading) {
  ReadResult r = Read("Layers = many\nFileName = late.wgt\n");
  EXPECT_EQ(r.message, "Layers value missing or invalid");
  EXPECT_EQ(r.settings.fileName, "new.wgt");  // nothing after it was read
  EXPECT_EQ(Read("Layers = 3.5").message, "Layers value missing or invalid");
  EXPECT_EQ(Read("Layers = 3000000000").message, "Layers value missing or invalid");
  EXPECT_EQ(Read("MinWeight = low").message, "MinWeight value missing or invalid");
  EXPECT_EQ(Read("MaxWeight = 1,5").message, "MaxWeight value missing or invalid");
  EXPECT_EQ(Read("MaxWeight = inf").message, "MaxWeight value missing or invalid");
  EXPECT_EQ(Read("MinWeight = nan").message, "MinWeight value missing or invalid");
  EXPECT_EQ(Read("MaxWeight = 1e39").message, "MaxWeight value missing or invalid");
  EXPECT_EQ(Read("MinWeight = -1e3").settings.minWeight, -1000.0f);
}

TEST(ParameterFile, ValueMissingAtEndOfFile) {
  EXPECT_EQ(Read("Layers").message, "Layers value missing or invalid");
  EXPECT_EQ(Read("Layers =").message, "Layers value missing or invalid");
  EXPECT_EQ(Read("Layers = 2 Bias =\n").message, "Bias value missing or invalid");
  EXPECT_EQ(Read("MinWeight =").message, "MinWeight value missing or invalid");
  EXPECT_EQ(Read("MaxWeight").message, "MaxWeight value missing or invalid");
  EXPECT_EQ(Read("FileName = ").message, "FileName value missing or invalid");
}

TEST(ParameterFile, RejectsWordsLongerThanTheirLimits) {
  const std::string w255(255, 'w');
  const std::string w256(256, 'w');
  EXPECT_EQ(Read(w255 + " Layers = 1").settings.layers, 1);
  EXPECT_EQ(Read(w256 + " Layers = 1").message, "Word longer than 255 characters");

  EXPECT_EQ(Read("FileName = " + w255).settings.fileName, w255);
  EXPECT_EQ(Read("FileName = " + w256).message, "FileName longer than 255 characters");

  EXPECT_EQ(Read("Bias = truetruetruetru").message, "");  // 15 characters
  EXPECT_EQ(Read("Bias = truetruetruetrue").message, "Bias value longer than 15 characters");

  EXPECT_EQ(Read("Layers = " + std::string(256, '1')).message, "Layers value longer than 255 characters");
  EXPECT_EQ(Read("Layers = 1 LayerSize = " + std::string(256, '1')).message,
            "LayerSize value longer than 255 characters");
  EXPECT_EQ(Read("MinWeight = " + std::string(256, '1')).message, "MinWeight value longer than 255 characters");

  // A zero byte in a file name is refused rather than cutting the name short.
  EXPECT_EQ(Read(std::string("FileName = a\0b", 14)).message, "FileName value missing or invalid");
}

TEST(ParameterFile, ReadsNumbersTheSameUnderEveryLocale) {
  const std::locale comma(std::locale::classic(), new CommaDecimal);
  const std::locale previous = std::locale::global(comma);

  std::istringstream in("MinWeight = -0.5 MaxWeight = 1.000 Layers = 1.000");
  in.imbue(comma);
  GenerationSettings settings;
  const std::string message = ReadParameterFile(in, settings);
  std::locale::global(previous);

  EXPECT_EQ(message, "Layers value missing or invalid");  // no thousands grouping
  EXPECT_EQ(settings.minWeight, -0.5f);
  EXPECT_EQ(settings.maxWeight, 1.0f);
  // The caller's locale is given back.
  EXPECT_EQ(std::use_facet<std::numpunct<char>>(in.getloc()).decimal_point(), ',');
}

TEST(ParameterFile, ValidatesInOrder) {
  EXPECT_EQ(Check(""), "#LAyers not specified or invalid");
  EXPECT_EQ(Check("Layers = 0 LayerSize = 1"), "#LAyers not specified or invalid");
  EXPECT_EQ(Check("Layers = -2 MinWeight = 9"), "#LAyers not specified or invalid");
  EXPECT_EQ(Check("Layers = 3 MinWeight = 9"), "LayerSize must list 3 sizes");
  EXPECT_EQ(Check("Layers = 3 LayerSize = 4 0 2 MinWeight = 9"), "Invalid layer size specified");
  EXPECT_EQ(Check("Layers = 3 LayerSize = 4 2 -1"), "Invalid layer size specified");
  EXPECT_EQ(Check("Layers = 1 LayerSize = 1 MinWeight = 1 MaxWeight = 1"), "MaxWeight must be > MinWeight");
  EXPECT_EQ(Check("Layers = 1 LayerSize = 1 MinWeight = 6"), "MaxWeight must be > MinWeight");
  EXPECT_EQ(Check("Layers = 1 LayerSize = 1 MaxWeight = -6"), "MaxWeight must be > MinWeight");
  EXPECT_EQ(Check("Layers = 1 LayerSize = 1 MinWeight = 4.9"), "");
}

TEST(ParameterFile, ReadsAnUnsignedThirtyTwoBitSeed) {
  EXPECT_FALSE(Read("Layers = 1 LayerSize = 1").settings.seed.has_value());
  EXPECT_EQ(Read("Seed = 42").settings.seed, 42u);
  EXPECT_EQ(Read("sEED : 0").settings.seed, 0u);
  EXPECT_EQ(Read("Seed = 4294967295").settings.seed, 4294967295u);
  EXPECT_EQ(Read("Seed = +7").settings.seed, 7u);
  EXPECT_EQ(Read("Seed = 5 Seed = 6").settings.seed, 6u);  // the last one counts
  // "Seeds" is no keyword: skipped like any other word.
  EXPECT_FALSE(Read("Seeds = 5").settings.seed.has_value());

  // Out of range or no whole number: refused, never wrapped.
  const char* message = "Seed value missing or invalid";
  EXPECT_EQ(Read("Seed = 4294967296").message, message);
  EXPECT_EQ(Read("Seed = 99999999999999999999").message, message);
  EXPECT_EQ(Read("Seed = -1").message, message);
  EXPECT_EQ(Read("Seed = 12ab").message, message);
  EXPECT_EQ(Read("Seed = 1.5").message, message);
  EXPECT_EQ(Read("Seed = random").message, message);
  EXPECT_EQ(Read(std::string("Seed = 1\0", 9)).message, message);
  EXPECT_EQ(Read("Seed").message, message);
  EXPECT_EQ(Read("Seed =").message, message);
  EXPECT_EQ(Read("Seed = " + std::string(256, '1')).message, "Seed value longer than 255 characters");

  // A refused seed stops the reading like any other unreadable value.
  ReadResult r = Read("Seed = x FileName = late.wgt");
  EXPECT_EQ(r.settings.fileName, "new.wgt");
  EXPECT_FALSE(r.settings.seed.has_value());
}
