#include "FaultRig.h"

TEST(SimFaultSpecText, ParsesFormatsBackAndRefusesWhatItCannotMean)
{
    const SimFaultSpec spec = Parsed(" seed=7, drop=0.01 ,drop-get=0.25,busy=3000,unplug-at=120,power-loss-at=300,"
                                     "replug=50,power-back=0,ack-loss=0.5,ids=0x11/18/0xD3,tear=1,flip=0.125,"
                                     "short=0.375,long=0.625,wrong-id=0.875,stale=0.5,stuck=0x15:3/0x1D,"
                                     "notify-loss=0.25,notify-dup=0.75,notify-late=5000,reenum=91000");
    EXPECT_EQ(FormatSimFaultSpec(spec), "seed=7,drop-set=0.01,drop-get=0.25,ack-loss=0.5,ids=0x11/0x12/0xD3,busy=3000,"
                                        "unplug-at=120,replug=50,power-loss-at=300,power-back=0,tear=1,flip=0.125,"
                                        "short=0.375,long=0.625,wrong-id=0.875,stale=0.5,notify-loss=0.25,"
                                        "notify-dup=0.75,stuck=0x15:3/0x1D,notify-late=5000,reenum=91000");
    EXPECT_EQ(FormatSimFaultSpec(Parsed(FormatSimFaultSpec(spec))), FormatSimFaultSpec(spec));
    // "reenum=0" is a fault (an instant return is still a changed board); a seed alone is none.
    EXPECT_TRUE(Parsed("reenum=0").Any());
    EXPECT_FALSE(Parsed("seed=3,tear=0").Any());
    for (const char* bad : {"drop=1.5", "drop=-0.1", "drop=nan", "seed=x", "seed=-1", "unplug-at=0", "busy=4294967296",
                            "ids=0x100", "ids=", "colour=red", "seed", "seed=1,seed=2", "seed=1,,drop=0", "drop=0.1x",
                            "tear=2", "stuck=", "stuck=0x100", "stuck=0x15:0", "stuck=0x15:1:2", "notify-late=-1",
                            "notify-late=4294967296", "reenum=x", "wrong-id=1.01"}) {
        SimFaultSpec untouched;
        untouched.seed = 99;
        std::string error;
        EXPECT_FALSE(ParseSimFaultSpec(bad, untouched, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
        EXPECT_EQ(untouched.seed, 99u) << bad;
    }
}
