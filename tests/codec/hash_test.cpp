// The Hash class: known answers at the block and chunk boundaries, split feeding, copies taken
// mid-computation, the exported entry points, and Windows' own digests and CRCs as peers.
#include "codec/hash.h"
#include "codec/kernels.h"
#include "tests/common/test_support.h"

#include <bcrypt.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace kwill {
namespace {

constexpr HashMethod kMethods[] = {
    HashMethod::MD5,   HashMethod::SHA1,           HashMethod::SHA256,      HashMethod::SHA512,
    HashMethod::CRC32, HashMethod::CRC32_BZIP2_LE, HashMethod::CRC32_BZIP2, HashMethod::BLAKE3,
};

std::string HexOf(HashMethod method, const void* data, size_t length) {
    Hash h;
    h.Init(method);
    h.HashData(data, length);
    char text[Hash::MAX_HASH_SIZE * 2 + 1];
    h.End(text, sizeof(text), nullptr, 0);
    return text;
}

std::vector<uint8_t> Pattern(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i % 251);
    return v;
}

std::vector<uint8_t> RandomBytes(std::mt19937& rng, size_t n) {
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(rng());
    return v;
}

// Input byte i is i % 251, as in the published BLAKE3 vectors; the other digests of the same
// inputs come from independent implementations of their standards.
struct Known {
    size_t length;
    const char* md5;
    const char* sha1;
    const char* sha256;
    const char* sha512;
    const char* crc32;
    const char* crc32Bzip2;
    const char* blake3;
};
const Known kKnown[] = {
    {0, "d41d8cd98f00b204e9800998ecf8427e", "da39a3ee5e6b4b0d3255bfef95601890afd80709",
     "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855",
     "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce47d0d13c5d85f2b0ff8318d2877ee"
     "c2f63b931bd47417a81a538327af927da3e",
     "00000000", "00000000", "af1349b9f5f9a1a6a0404dea36dcc9499bcb25c9adc112b7cc9a93cae41f3262"},
    {1, "93b885adfe0da089cdf634904fd59f71", "5ba93c9db0cff93f52b521d7420e43f6eda2784f",
     "6e340b9cffb37a989ca544e6bb780a2c78901d3fb33738768511a30617afa01d",
     "b8244d028981d693af7b456af8efa4cad63d282e19ff14942c246e50d9351d22704a802a71c3580b6370de4ceb293"
     "c324a8423342557d4e5c38438f0e36910ee",
     "d202ef8d", "b1f7404b", "2d3adedff11b61f14c886e35afa036736dcd87a74d27b5c1510225d0f592e213"},
    {55, "6912ee65fff2d9f9ce2508cddf8bcda0", "8ae2d46729cfe68ff927af5eec9c7d1b66d65ac2",
     "463eb28e72f82e0a96c0a4cc53690c571281131f672aa229e0d45ae59b598b59",
     "6856647f269c2ee3d8128f0b25427659d880641ef343300dd3cd4679168f58d6527fda70b4ebc854e2065e172b7d5"
     "8c1536992c0810599259ba84a2b40c65414",
     "fd4fdad4", "4e7f79cb", "d04ec5f6f5e7daf5ced7a1671fbe912580a56576c8bf6a2ed4b80e35548f9c13"},
    {56, "51fdd1acda72405dfdfa03fcb85896d7", "636e2ec698dac903498e648bd2f3af641d3c88cb",
     "da2ae4d6b36748f2a318f23e7ab1dfdf45acdc9d049bd80e59de82a60895f562",
     "8b12b2f6fe400a51d29656e2b8c42a1bbfe6fcf3e425da430db05d1a2dda14790dee20fa8b22d8762afffe4988a5c"
     "98a4430d22a17e41e23d90fa61ab75671a9",
     "ebfc1395", "0cf366a3", "60f238116f2936698a88cda03d8df79d7431249373b048ee7a063849fe6e9742"},
    {63, "48a6295221902e8e0938f773a7185e72", "6d942da0c4392b123528f2905c713a3ce28364bd",
     "29af2686fd53374a36b0846694cc342177e428d1647515f078784d69cdb9e488",
     "9dc9c5598e55dc42955695320839788e353f1d7f6ba74df74c80a8a52f463c0697f57f68835d1418f4ce9b6530cd7"
     "9bd0f4c6f7e13c93feb1218c0b65c2c0561",
     "dbdea683", "55719aa7", "e9bc37a594daad83be9470df7f7b3798297c3d834ce80ba85d6e207627b7db7b"},
    {64, "b2d3f56bc197fd985d5965079b5e7148", "c6138d514ffa2135bfce0ed0b8fac65669917ec7",
     "fdeab9acf3710362bd2658cdc9a29e8f9c757fcf9811603a8c447cd1d9151108",
     "ee4320ebaf3fdb4f2c832b137200c08e235e0fa7bbd0eb1740c7063ba8a0d151da77e003398e1714a955d475b05e3"
     "e950b639503b452ec185de4229bc4873949",
     "100ece8c", "4342f70a", "4eed7141ea4a5cd4b788606bd23f46e212af9cacebacdc7d1f4c6dc7f2511b98"},
    {65, "8bd7053801c768420faf816fadba971c", "69bd728ad6e13cd76ff19751fde427b00e395746",
     "4bfd2c8b6f1eec7a2afeb48b934ee4b2694182027e6d0fc075074f2fabb31781",
     "02856cef735f9acec6b9e33f0fbc8f9804d2aa54187f382b8ae842e5d3696c07459aad2a5aed25ea5e117eb1c7ba3"
     "5da6a7a8adce9e6afe3ad79e9fa42d5bba8",
     "40c06fd8", "fe436c92", "de1e5fa0be70df6d2be8fffd0e99ceaa8eb6e8c93a63f2d8d1c30ecb6b263dee"},
    {111, "4fad3ab7d8546851ec1bb63ea7e6f5a8", "bc544e24573d592290fdaff8ecf3f7f2b00cd483",
     "60780e9451bdc43cf4530ffc95cbb0c4eb24dae2c39f55f334d679e076c08065",
     "a1a111449b198d9b1f538bad7f3fc1022b3a5b1a5e90a0bc860de8512746cbc31599e6c834de3a3235327af0b51ff"
     "57bf7acf1974a73014d9c3953812edc7c8d",
     "dcb526aa", "5ddf5c91", "929dcdaf9b6a6e500a34978b5c9206d0258bc190f38c9e8e42fb19a4820b2171"},
    {112, "d1fec2ac3715e791ca5f489f300381b3", "e4ce142d09a84a8645338dd6535cbfaaf800d320",
     "09373f127d34e61dbbaa8bc4499c87074f2ddb10e1b465f506d7d70a15011979",
     "c5fbd731d19d2ae1180f001be72c2c1aaba1d7b094b3748880e24593b8e117a750e11c1bd867cc2f96dace8c8b74a"
     "bd2d5c4f236be444e77d30d1916174070b9",
     "39d06c94", "b31b87b5", "c881a3c5ba84905a418f3da19726541b5bacd9e3438a741ffd980e00865fe13c"},
    {127, "8402b21e7bc7906493bae0dac017f1f9", "89d7312a903f65cd2b3e34a975e55dbea9033353",
     "92ca0fa6651ee2f97b884b7246a562fa71250fedefe5ebf270d31c546bfea976",
     "eab89674feaa34e27aebeeff3c0a4d70070bb872d5e9f186cf1dbbdee517b6e35724d629ff025a5b07185e911ada7"
     "e3c8acf830aa0e4f71777bd2d44f504f7f0",
     "dec481aa", "bd3518a4", "d81293fda863f008c09e92fc382a81f5a0b4a1251cba1634016a0f86a6bd640d"},
    {128, "37eff01866ba3f538421b30b7cbefcac", "e6434bc401f98603d7eda504790c98c67385d535",
     "471fb943aa23c511f6f72f8d1652d9c880cfa392ad80503120547703e56a2be5",
     "1dffd5e3adb71d45d2245939665521ae001a317a03720a45732ba1900ca3b8351fc5c9b4ca513eba6f80bc7b1d1fd"
     "ad4abd13491cb824d61b08d8c0e1561b3f7",
     "24650d57", "d0e74fbc", "f17e570564b26578c33bb7f44643f539624b05df1a76c81f30acd548c44b45ef"},
    {1023, "7437d7a881387db7c41cf6930ab5e35d", "1d58257e7e9cecee00473911023732e408e9bee3",
     "1c5e88a585b61754df6137d66632a7348557a88358afc401b0a0a4fc427104a9",
     "c260dc7074f5d12c5226aecfdb8e3f9b6457b14d980aa0d28b2082d78377ee8c33d65466d9f369cfb347e86d806ab"
     "5a9488dd93b63252341106f3604d8e96879",
     "5a9e0eff", "0430d3f9", "10108970eeda3eb932baac1428c7a2163b0e924c9a9e25b35bba72b28f70bd11"},
    {1024, "9ee0a0e0c0bc0f1ff29d663d1fdf0743", "0ac28084ff74933d05123496dafd3791684d9b53",
     "2bce1ba628720664be4b9fdd77aae0678e5f0f3f02fc6ff641ec879094f6a404",
     "9af3eed7e9dd11428bb922c6830c32065154532303781f8ea4f20792d616703884d564ebfd2bfa65faed8fc8fd91d"
     "9e1d3f12897fbb1e2247632db70ce30573e",
     "7be4dfd0", "d372323e", "42214739f095a406f3fc83deb889744ac00df831c10daa55189b5d121c855af7"},
    {1025, "3f3789452b88cb32b8cbfbafe715e29a", "ca9fdc040579afc74c0e6314fee7af12bd5c4284",
     "bc0b6b10b89b9487a12fda2a8cc13194e7091c217aabf8b92846274026f4bcd0",
     "1f0cb287c12671e2f498170ff2762886686ceb88b7d63f944708d3060752376ff38e4a88ab7ceb0bb437083e7f1d0"
     "51049b8d94356e72e4d59adcc102f585ac0",
     "4e700dfb", "8008bed7", "d00278ae47eb27b34faecf67b4fe263f82d5412916c1ffd97c8cb7fb814b8444"},
    {2048, "1544ef7a46131a30cf328f55979db73d", "b473a1c7d3ec7fa9036b3158a979dc0c65ab6d98",
     "b2a8170614e23194ae2951423d601987f518ce2f11205d7b0b708080103b9f76",
     "586dec844d81eca239c38078af4e1531b7490aff64b7bc8939c7613b7332653eb142638f5e53c7fa755315bc25dbe"
     "97979deb832e586e9c7c5dd9cfb318b8940",
     "dd34ad61", "aca638b6", "e776b6028c7cd22a4d0ba182a8bf62205d2ef576467e838ed6f2529b85fba24a"},
    {2049, "cb7fabac9ac9fd2cb4e79a6d12c8308e", "08f4013d7a63d68a95db3d9ac6d6e29e932f2808",
     "26e1e2808e3a6cf967ca03f6749a063c5ed55f92f5874653a1faabed78346f00",
     "c86261239b9dbf452f0b5ba56fd312c5f3eced55cfa7057e522a378fa5a707fbababd9c7c559160dd5b64a9826cf2"
     "db5e09a99fcdb8f411c8ae2f26f9bee8395",
     "dddf2214", "6dc76079", "5f4d72f40d7a5f82b15ca2b2e44b1de3c2ef86c426c95c1af0b6879522563030"},
    {3072, "9fbab1246f634b8947f77fcc0f880856", "75cfc01b8d827c264b86ab897a6c731e2902f69e",
     "5f24b2f16026ec7d0450a5a08283d3cfd47302fe859f579ed79fe7d2663b73f9",
     "1e287e9aac34fe5a7471d2c0de64d49e9587c8818825f411ad076a18fd898ca72940b9b5e906c0df2c2a003eedf31"
     "ade6355175aa98cbc678c1a9f33ba7a008a",
     "3eb7fb7d", "468ba99f", "b98cb0ff3623be03326b373de6b9095218513e64f1ee2edd2525c7ad1e5cffd2"},
    {3073, "fabbea69ebd535c3079f3f24afd6dc5c", "b702fa948da042495a69e1bc6febeee715eb37d1",
     "b870cdfe188c14fbfc31a1be12cd7e83b63551fff30f847fa275d5d4ac409471",
     "22c0842940ca4deab80afea00b266e0954657e23dd7088701290c37cb52229487f51606d4c91f816a06ddd7e31e4e"
     "2d2c8f438313d9a1ca60f978881eaefceb6",
     "d3e72970", "f560147a", "7124b49501012f81cc7f11ca069ec9226cecb8a2c850cfe644e327d22d3e1cd3"},
    {4096, "a0c16616c91907bd14e999986cf822d5", "92ca8f2b4163e64a1b53e0fde263ad56cbdb75fc",
     "d67c656e01756650d77717b0839985a056ec28ffe174601d690fc407a2ceffca",
     "3b5e033c335c4a168b9b370c752db690ede9cc918abb9a2d18736536c83908ddd4be0bef9018c9fc2b4700befa1d9"
     "1bf12cee544e0c06cdcea822bf2ebdf36a2",
     "d465f907", "c9ef9f7c", "015094013f57a5277b59d8475c0501042c0b642e531b0a1c8f58d2163229e969"},
    {4097, "e4df5b23488e51a7998f218196a6ef6d", "199b39f39620b41326652dea09d98b57b0381329",
     "a16560d668b843fb3be99ace41dbd18471f342bd3255a1d21204b35e43f74436",
     "792d06a3e2418827f6059cd78dbb16d07bf86bfd3f542e326dac9fe5ed9e5037cdd2ac00be625add28e0e2408aa61"
     "18671e9e57872c6b78a327b1692be444078",
     "27d94e23", "59bcf7da", "9b4052b38f1c5fc8b1f9ff7ac7b27cd242487b3d890d15c96a1c25b8aa0fb995"},
    {5120, "063d6a28e878bf1b7c5d7a071cdd3fb5", "4bc68e0b193fd30eb9998230f0c65d8439b2e282",
     "2d3fb9161493509e3fa3f5472d8a284ee687f64524f0925be67e132ef43f43e0",
     "054c48a4cbe912b341f3e45ad5e73961b7cc67f2b1f4d47999958bec47d040cf3dadece423278c8f666a008fac7a5"
     "3a4e7661b19a531dd6b88d2bf7ae9aa4ecb",
     "706fb7ce", "bff418c2", "9cadc15fed8b5d854562b26a9536d9707cadeda9b143978f319ab34230535833"},
    {5121, "91cc8e538610085ed7426698b7bf777f", "b8af1be942099162396c64018eaca2dfdf685ebb",
     "f19db61046ca889db9bd34d779cd362c6a7198cb5a0e3a2882e7bd24a901cc1d",
     "b85a273680ac5038ab5056dd2c02691a22e853f96be5ea945ef9e332a9edd73b2d7812d739762027f535206d4e912"
     "4da914bda458ff65093396302f47da06f96",
     "e471cacc", "7f3f02c3", "628bd2cb2004694adaab7bbd778a25df25c47b9d4155a55f8fbd79f2fe154cff"},
    {6144, "fda066d0aafded1dadbdd3dfe601e84f", "81e8918f49e8c9eec1df102859541d1687203482",
     "b7806fa749a8944b54898488d9cf0bcbd8d8010eaa4955b9aaa809a4100953bd",
     "b5db874932e5b8561da0e1462ceb9cc5e1e504c913d594f768cf770e8978d23a067cdd8cb533f06f27945188543ac"
     "24866916f0d8a3da66ef1f72e0d6c10479c",
     "9ecbf701", "07e3eb84", "3e2e5b74e048f3add6d21faab3f83aa44d3b2278afb83b80b3c35164ebeca205"},
    {6145, "dfd132e326887be638b4c0063e3efcb8", "883027c8b99dd59c86baf0d7deef6c939a7ce0b1",
     "14c3dded0a72fea7b6032b1648b3018bd7174dc2b210b94de258e06ad76533bb",
     "d3b6961f70dd3695323f2de0b2253cf299dcaea6ef6e6e30d762ab2ec422eb0667c82ac571fb719a5b43746618172"
     "3c6617c9335a38cef566913ed07a8bf1026",
     "fb45ede2", "8ae76411", "f1323a8631446cc50536a9f705ee5cb619424d46887f3c376c695b70e0f0507f"},
    {7168, "f5cf8d3f359e24f37a8ad8083dcb941c", "f9e9de86e42c8d0205264994a7d5ea639615806e",
     "fc886a975cb8681be6e3693287b09735d2493d274a8cf305de38f4aafa5f72d8",
     "a1b4ecca2194e67ddbce9c45ce8cc5e7fbc88484992a2211d2925a810ebf6f80049635d8d4da71e56fa05e83143e6"
     "02dde1d4530d4486f15c0f1d354d988d597",
     "d7b30e30", "12c6266a", "61da957ec2499a95d6b8023e2b0e604ec7f6b50e80a9678b89d2628e99ada77a"},
    {7169, "3f086b1d4610ca6fc82c7d4a63fba9c3", "148edba2703c67e68507dacb7df0604b0b494cd3",
     "ca9fb85c318e92457d00499e940dee1e25dd928cb5804f939e4856d52508aa56",
     "985ff6149b9f49a72e2b577609646ce8d3b58ddd6ee0db4715258a30b9c7141459d77dc9c7c207a3709fed1613d81"
     "31838943ed69e3e2c255a06c58c189b8104",
     "1002a324", "6e42b1df", "a003fc7a51754a9b3c7fae0367ab3d782dccf28855a03d435f8cfe74605e7817"},
    {8192, "5756928d3feb9c830c61f92b56416d95", "af99e56a73bb60c07a7f7154be3381d665673e75",
     "25df2449b2e5a35fea14e02a7158e283801a1069c9f84631b9a9dacb2f809a7f",
     "80b7e9a1fceebc4d2552a21ef78c0bc39008b9454f6f647f06ac2767de3a0225dcfd517f71604cfc5a6dfc2eba510"
     "6da66c26eaef3141249cc699a085f600e81",
     "fe7c712f", "de4599be", "aae792484c8efe4f19e2ca7d371d8c467ffb10748d8a5a1ae579948f718a2a63"},
    {8193, "d70940b0f2d0a8ac92655d222ce0ecd5", "c7fac2a2751ad1552813f366c3daef8eba512436",
     "7e3691790cd64b19d4edb1a80e988214515abeb53aa0f34ffbfe4b4bf405d120",
     "825d72249c6adeff4ab01490f1dcf174bb1872bafe8deae51bb9f7ead43be084cd690306fe2b20fa7b791bf32efe8"
     "14b8b06667df2eb6235ff2c1bbbfb9a0e4a",
     "affb0d4d", "285443a6", "bab6c09cb8ce8cf459261398d2e7aef35700bf488116ceb94a36d0f5f1b7bc3b"},
    {16384, "e7b11e9c017496ec667c7bf8909d0e2d", "68f3b81a11de1e1629e81555b4e70aed955d1140",
     "4348e3b98e8a327b34ced39c1da9e67cdb4cd5e48e4d7960607a3ae403d35f0c",
     "7b44b9db91a7c2fc297ed21471c4aa8524f16a56e7bdc0edaed54016c685976016b1d9820d398fa993296665ca192"
     "eef09b636c7616da3192708a1b40f2e1272",
     "e93e4269", "aa4277c3", "f875d6646de28985646f34ee13be9a576fd515f76b5b0a26bb324735041ddde4"},
    {31744, "479ffce5ddbbbf1b728c1edb4e8fea34", "58a1076d68ea10c83709bb2b51e42bf081594a37",
     "3cfe29c8d109f9f2c47826c78f931f31fdec70a2cf0ddfbba8fe8009a729dd42",
     "884bcc1b61bcce54830265ad44e240e6f742a30d473775a39c92c4e5c95032f9ec1a7eff516567b7846fae9ddc8f6"
     "a2828e1f763ac630f1bbfe631ed87e6428a",
     "7dfb41c3", "ef9ce388", "62b6960e1a44bcc1eb1a611a8d6235b6b4b78f32e7abc4fb4c6cdcce94895c47"},
    {102400, "1a0f81547e5ba2e9c4a4b94a74731993", "f18b928d893ae172a000efa19b80e1c04fb36414",
     "74588b7f0bcc354ac14d9cf199fa3a20c05f0c7293b9075b2f2e146e718de800",
     "2acda2d1386c8cd9ef01c797cfd154b073e7ea26e4c5741e9f2aee089dc8106cb887526d5bbb04920c2b742b2dab9"
     "45e2a8db4cd31f58ac945aec9df89b1f18d",
     "5cc1ce13", "5885a6d5", "bc3e3d41a1146b069abffad3c0d44860cf664390afce4d9661f7902e7943e085"},
    {1048577, "79b67c7fbf43b76e5b7f182328bdc4b6", "ffbc30b06f6bd51da52f9640804c9d0c4f6e2af2",
     "5769f52bc3eef28afa39c6fc68cadb7d0bd69812ae3a3d71452f519ec3c7aa56",
     "5e354eab69ae16c75df3a8a5d2a4c725e331c5163b2b96156df815b10495cf74b0ce8c2e38811d3afa6abaf13d122"
     "df1b07920ec402b0921f016376d9132e0ef",
     "3e8e13cb", "3de00f7e", "2f053cd7472cf0cd2f9adaf45c1180255b91b9a865404a63671a0ee5f792ed33"},
};

std::string Reversed(const std::string& hex) {
    std::string r;
    for (size_t i = hex.size(); i >= 2; i -= 2) r += hex.substr(i - 2, 2);
    return r;
}

TEST(Hash, KnownAnswersAtBoundaries) {
    for (const Known& k : kKnown) {
        std::vector<uint8_t> data = Pattern(k.length);
        const char* expected[] = {k.md5,   k.sha1,  k.sha256,     k.sha512,
                                  k.crc32, nullptr, k.crc32Bzip2, k.blake3};
        for (int m = 0; m < 8; ++m) {
            std::string want = m == 5 ? Reversed(k.crc32Bzip2) : expected[m];
            EXPECT_EQ(HexOf(kMethods[m], data.data(), data.size()), want)
                << "method " << m << " length " << k.length;
        }
    }
}

TEST(Hash, PublishedVectors) {
    struct Row {
        HashMethod method;
        const char* input;
        const char* expected;
    };
    const Row rows[] = {
        {HashMethod::MD5, "a", "0cc175b9c0f1b6a831c399e269772661"},
        {HashMethod::MD5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
        {HashMethod::MD5, "message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {HashMethod::MD5,
         "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
        {HashMethod::SHA1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {HashMethod::SHA1, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {HashMethod::SHA256, "abc",
         "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {HashMethod::SHA256, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {HashMethod::SHA512, "abc",
         "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c2"
         "3a3feebbd454d4423643ce80e2a9ac94fa54ca49f"},
        {HashMethod::SHA512,
         "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqr"
         "lmnopqrsmnopqrstnopqrstu",
         "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018501d289e4900f7e4331b99d"
         "ec4b5433ac7d329eeb6dd26545e96e55b874be909"},
        {HashMethod::CRC32, "123456789", "cbf43926"},
        {HashMethod::CRC32_BZIP2, "123456789", "fc891918"},
        {HashMethod::CRC32_BZIP2_LE, "123456789", "181989fc"},
        // A method value outside the table behaves as MD5.
        {static_cast<HashMethod>(9), "abc", "900150983cd24fb0d6963f7d28e17f72"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(HexOf(r.method, r.input, std::strlen(r.input)), r.expected) << r.input;
    }
    Hash h;
    h.Init(static_cast<HashMethod>(9));
    EXPECT_EQ(h.HashSize(), 16);
}

// Feeding in two pieces split at every point, and byte by byte, gives the one-call digest.
TEST(Hash, SplitFeeding) {
    std::mt19937 rng(5);
    for (HashMethod m : kMethods) {
        size_t n = m == HashMethod::BLAKE3 ? 2200 : 300;
        std::vector<uint8_t> data = RandomBytes(rng, n);
        std::string whole = HexOf(m, data.data(), n);
        for (size_t split = 0; split <= n; ++split) {
            Hash h;
            h.Init(m);
            h.HashData(data.data(), split);
            h.HashData(data.data() + split, n - split);
            char text[129];
            h.End(text, sizeof(text), nullptr, 0);
            ASSERT_EQ(text, whole) << "method " << static_cast<int>(m) << " split " << split;
        }
        Hash h;
        h.Init(m);
        for (size_t i = 0; i < n; ++i) h.HashData(&data[i], 1);
        h.HashData(nullptr, 0);
        char text[129];
        h.End(text, sizeof(text), nullptr, 0);
        EXPECT_EQ(text, whole) << "byte by byte, method " << static_cast<int>(m);
    }
}

// BLAKE3 takes whole subtrees of sixteen chunks at once only where they start on a multiple of
// sixteen: feeds that begin elsewhere reach that path from every alignment.
TEST(Hash, Blake3SplitAcrossSubtrees) {
    const Known* k = nullptr;
    for (const Known& row : kKnown)
        if (row.length == 102400) k = &row;
    ASSERT_NE(k, nullptr);
    std::vector<uint8_t> data = Pattern(k->length);
    for (size_t split : {size_t{1}, size_t{1024}, size_t{3000}, size_t{5120}, size_t{16384},
                         size_t{17000}, size_t{50000}, size_t{102399}}) {
        Hash h;
        h.Init(HashMethod::BLAKE3);
        h.HashData(data.data(), split);
        h.HashData(data.data() + split, data.size() - split);
        char text[65];
        h.End(text, sizeof(text), nullptr, 0);
        EXPECT_STREQ(text, k->blake3) << split;
    }
}

// BLAKE3 hashes whole chunks as they come and postpones only the merging of subtrees: feeds of
// whole chunks, which end a call (and maybe the input) on a chunk or subtree boundary, and
// feeds that leave a part chunk between them, give the published digests.
TEST(Hash, Blake3FedInPieces) {
    const std::vector<size_t> feeds[] = {
        {1024},        {2048},       {3072},       {16384},  {65536},         {1024, 15360},
        {16384, 1024}, {3072, 1000}, {17408, 100}, {262144}, {1023, 1, 1024}, {524288, 1024},
    };
    for (size_t length : {size_t{16384}, size_t{31744}, size_t{102400}, size_t{1048577}}) {
        const Known* k = nullptr;
        for (const Known& row : kKnown)
            if (row.length == length) k = &row;
        ASSERT_NE(k, nullptr);
        std::vector<uint8_t> data = Pattern(length);
        for (size_t f = 0; f < std::size(feeds); ++f) {
            Hash h;
            h.Init(HashMethod::BLAKE3);
            for (size_t at = 0, i = 0; at < length; ++i) {
                size_t piece = std::min(feeds[f][i % feeds[f].size()], length - at);
                h.HashData(data.data() + at, piece);
                at += piece;
            }
            char text[65];
            h.End(text, sizeof(text), nullptr, 0);
            EXPECT_STREQ(text, k->blake3) << "length " << length << " feed " << f;
        }
    }
}

// A copy taken mid-way goes on independently of the original.
TEST(Hash, CopyMidComputation) {
    std::mt19937 rng(9);
    std::vector<uint8_t> prefix = RandomBytes(rng, 5000);
    for (HashMethod m : kMethods) {
        for (size_t cut : {size_t{2}, size_t{1500}, size_t{5000}}) {
            Hash a;
            a.Init(m);
            a.HashData(prefix.data(), cut);
            Hash b;
            b = a;
            Hash c;
            c = std::move(a);
            a.HashData("d", 1);
            b.HashData("c", 1);
            c.HashData("c", 1);
            std::vector<uint8_t> withC(prefix.begin(), prefix.begin() + cut), withD = withC;
            withC.push_back('c');
            withD.push_back('d');
            char ta[129], tb[129], tc[129];
            a.End(ta, sizeof(ta), nullptr, 0);
            b.End(tb, sizeof(tb), nullptr, 0);
            c.End(tc, sizeof(tc), nullptr, 0);
            EXPECT_EQ(ta, HexOf(m, withD.data(), withD.size()))
                << static_cast<int>(m) << " " << cut;
            EXPECT_EQ(tb, HexOf(m, withC.data(), withC.size()))
                << static_cast<int>(m) << " " << cut;
            EXPECT_STREQ(tb, tc);
        }
    }
}

TEST(Hash, DigestAndTextBuffers) {
    Hash h;
    h.Init(HashMethod::SHA256);
    h.HashData("abc", 3);
    uint8_t digest[100];
    std::memset(digest, 0xEE, sizeof(digest));
    Hash copy = h;
    h.End(8, digest);
    EXPECT_EQ(digest[7], 0xea);
    EXPECT_EQ(digest[8], 0xEE);
    copy.EndHash(100, digest);
    EXPECT_EQ(digest[31], 0xad);
    EXPECT_EQ(digest[32], 0xEE);

    const uint8_t md5[16] = {0x90, 0x01, 0x50, 0x98, 0x3c, 0xd2, 0x4f, 0xb0,
                             0xd6, 0x96, 0x3f, 0x7d, 0x28, 0xe1, 0x7f, 0x72};
    struct Row {
        size_t textSize;
        const char* expected;
    };
    const Row rows[] = {
        {33, "900150983cd24fb0d6963f7d28e17f72"},
        {32, "900150983cd24fb0d6963f7d28e17f7"},  // the last byte keeps its high nibble
        {4, "900"},
        {1, ""},
    };
    for (const Row& r : rows) {
        char text[40];
        std::memset(text, '#', sizeof(text));
        Hash::SumToString(md5, text, r.textSize, 16);
        EXPECT_STREQ(text, r.expected) << r.textSize;
        EXPECT_EQ(text[r.textSize], '#') << "wrote past the text buffer";
    }
    char untouched = '#';
    Hash::SumToString(md5, &untouched, 0, 16);
    EXPECT_EQ(untouched, '#');
}

// The exported entry points, and the decorated member names a host imports, reach the same code.
TEST(Hash, ExportedMembers) {
    struct Alias {
        const char* plain;
        const char* decorated;
    };
    const Alias aliases[] = {
        {"KwillHashInit", "?Init@Hash@@QEAAXW4HashMethod@@@Z"},
        {"KwillHashCopy", "??4Hash@@QEAAAEAV0@AEBV0@@Z"},
        {"KwillHashCopy", "??4Hash@@QEAAAEAV0@$$QEAV0@@Z"},
        {"KwillHashSize", "?HashSize@Hash@@QEAAHXZ"},
        {"KwillHashSize", "?HashSize@Hash@@QEBAHXZ"},
    };
    HMODULE dll = test::KwillDll::Get().module();
    for (const Alias& a : aliases) {
        FARPROC plain = ::GetProcAddress(dll, a.plain);
        ASSERT_NE(plain, nullptr) << a.plain;
        EXPECT_EQ(::GetProcAddress(dll, a.decorated), plain) << a.decorated;
    }

    using InitFn = void (*)(void*, uint32_t);
    using DataFn = void (*)(void*, const void*, size_t);
    using EndFn = void (*)(void*, char*, size_t, uint8_t*, size_t);
    using SizeFn = int (*)(const void*);
    using CopyFn = void* (*)(void*, const void*);
    using ObjectSizeFn = size_t (*)();
    auto init = test::Named<InitFn>("?Init@Hash@@QEAAXW4HashMethod@@@Z");
    auto data = test::Named<DataFn>("KwillHashData");
    auto end = test::Named<EndFn>("KwillHashEnd");
    auto size = test::Named<SizeFn>("?HashSize@Hash@@QEBAHXZ");
    auto copy = test::Named<CopyFn>("??4Hash@@QEAAAEAV0@AEBV0@@Z");
    auto objectSize = test::Named<ObjectSizeFn>("KwillHashObjectSize");
    ASSERT_TRUE(init && data && end && size && copy && objectSize);
    ASSERT_EQ(objectSize(), sizeof(Hash));
    for (HashMethod m : kMethods) {
        alignas(8) uint8_t a[sizeof(Hash)], b[sizeof(Hash)];
        init(a, static_cast<uint32_t>(m));
        EXPECT_EQ(size(a), Hash::SizeOf(m));
        data(a, "ab", 2);
        EXPECT_EQ(copy(b, a), b);
        data(b, "c", 1);
        char text[129];
        end(b, text, sizeof(text), nullptr, 0);
        EXPECT_EQ(text, HexOf(m, "abc", 3)) << static_cast<int>(m);
    }
}

// The SHA-512 kernels with the vector schedule work on pairs of blocks with an odd one last; every
// count up to a few pairs, at unaligned addresses, gives the portable result.
TEST(Hash, Sha512VectorScheduleMatchesPortable) {
    struct Row {
        codec::CpuLevel level;
        void (*blocks)(uint64_t h[8], const uint8_t* in, size_t blocks);
    };
    const Row rows[] = {{codec::CpuLevel::Avx2, codec::avx2::Sha512Blocks},
                        {codec::CpuLevel::Avx512, codec::avx512::Sha512Blocks}};
    std::mt19937 rng(5);
    std::vector<uint8_t> data = RandomBytes(rng, 9 * 128 + 64);
    for (const Row& r : rows) {
        if (codec::DetectedCpuLevel() < r.level) continue;
        for (size_t blocks = 0; blocks <= 9; ++blocks) {
            const uint8_t* p = data.data() + rng() % 64;
            uint64_t a[8], b[8];
            for (int i = 0; i < 8; ++i) a[i] = b[i] = (uint64_t{rng()} << 32) | rng();
            r.blocks(a, p, blocks);
            codec::portable::Sha512Blocks(b, p, blocks);
            EXPECT_EQ(0, std::memcmp(a, b, sizeof(a)))
                << codec::CpuLevelName(r.level) << " " << blocks << " blocks";
        }
    }
}

// Every kernel level the processor has gives the portable result on random buffers.
TEST(Hash, KernelsMatchPortable) {
    const codec::Kernels& ref = codec::KernelsAt(codec::CpuLevel::Portable);
    std::mt19937 rng(21);
    std::vector<uint8_t> data = RandomBytes(rng, 64 * 1024 + 37);
    for (int lv = 1; lv <= static_cast<int>(codec::DetectedCpuLevel()); ++lv) {
        const codec::Kernels& k = codec::KernelsAt(static_cast<codec::CpuLevel>(lv));
        for (int round = 0; round < 40; ++round) {
            size_t offset = rng() % 64;
            size_t length = round < 20 ? round * 7 : rng() % (data.size() - 64);
            const uint8_t* p = data.data() + offset;
            uint32_t reg = rng();
            ASSERT_EQ(k.crc32(reg, p, length), ref.crc32(reg, p, length)) << lv << " " << length;
            ASSERT_EQ(k.crc32Bzip2(reg, p, length), ref.crc32Bzip2(reg, p, length))
                << lv << " " << length;
            size_t blocks = length / 128;
            uint32_t h32a[8], h32b[8];
            uint64_t h64a[8], h64b[8];
            for (int i = 0; i < 8; ++i) h32a[i] = h32b[i] = rng(), h64a[i] = h64b[i] = rng();
            k.md5Blocks(h32a, p, blocks * 2);
            ref.md5Blocks(h32b, p, blocks * 2);
            ASSERT_EQ(0, std::memcmp(h32a, h32b, 16)) << "md5 level " << lv;
            k.sha1Blocks(h32a, p, blocks * 2);
            ref.sha1Blocks(h32b, p, blocks * 2);
            ASSERT_EQ(0, std::memcmp(h32a, h32b, 20)) << "sha1 level " << lv;
            k.sha256Blocks(h32a, p, blocks * 2);
            ref.sha256Blocks(h32b, p, blocks * 2);
            ASSERT_EQ(0, std::memcmp(h32a, h32b, 32)) << "sha256 level " << lv;
            k.sha512Blocks(h64a, p, blocks);
            ref.sha512Blocks(h64b, p, blocks);
            ASSERT_EQ(0, std::memcmp(h64a, h64b, 64)) << "sha512 level " << lv;
            size_t chunks = length / 1024 > 16 ? 16 : length / 1024;
            uint32_t cva[16][8], cvb[16][8];
            uint64_t counter = round == 1 ? 0xFFFFFFFEull : rng();
            k.blake3Chunks(p, chunks, counter, cva);
            ref.blake3Chunks(p, chunks, counter, cvb);
            ASSERT_EQ(0, std::memcmp(cva, cvb, chunks * 32)) << "blake3 level " << lv;
            size_t parents = length / 64 > 16 ? 16 : length / 64;
            k.blake3Parents(p, parents, cva);
            ref.blake3Parents(p, parents, cvb);
            ASSERT_EQ(0, std::memcmp(cva, cvb, parents * 32)) << "blake3 parents level " << lv;
        }
    }
}

// The BLAKE3 kernels of every level against the portable ones where the wide ones are most
// likely to slip: whole batches of chunks whose counters carry into the high word part-way
// through the lanes, and parents hashed in place (the output overwriting the input, as the tree
// reduction does) for every count, including the short last levels of a subtree.
TEST(Hash, Blake3KernelsAtCarriesAndInPlace) {
    const codec::Kernels& ref = codec::KernelsAt(codec::CpuLevel::Portable);
    std::mt19937 rng(33);
    std::vector<uint8_t> data = RandomBytes(rng, 40 * 1024 + 64);
    for (int lv = 1; lv <= static_cast<int>(codec::DetectedCpuLevel()); ++lv) {
        const codec::Kernels& k = codec::KernelsAt(static_cast<codec::CpuLevel>(lv));
        for (uint64_t counter :
             {uint64_t{0xFFFFFFF8}, uint64_t{0xFFFFFFFF}, uint64_t{0x1FFFFFFF3}}) {
            for (size_t chunks : {size_t{16}, size_t{19}, size_t{32}, size_t{40}}) {
                const uint8_t* p = data.data() + counter % 61;
                uint32_t a[40][8], b[40][8];
                k.blake3Chunks(p, chunks, counter, a);
                ref.blake3Chunks(p, chunks, counter, b);
                ASSERT_EQ(0, std::memcmp(a, b, chunks * 32))
                    << "level " << lv << " counter " << counter << " chunks " << chunks;
            }
        }
        for (size_t parents = 1; parents <= 40; ++parents) {
            uint32_t a[80][8], b[80][8];
            std::memcpy(a, data.data() + parents, sizeof(a));
            std::memcpy(b, a, sizeof(b));
            k.blake3Parents(reinterpret_cast<const uint8_t*>(a), parents, a);
            ref.blake3Parents(reinterpret_cast<const uint8_t*>(b), parents, b);
            ASSERT_EQ(0, std::memcmp(a, b, parents * 32))
                << "level " << lv << " parents " << parents;
        }
    }
}

TEST(Hash, CrcAgainstRtlComputeCrc32) {
    using RtlCrc = DWORD(WINAPI*)(DWORD, const BYTE*, INT);
    auto rtl = reinterpret_cast<RtlCrc>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlComputeCrc32")));
    ASSERT_NE(rtl, nullptr);
    std::mt19937 rng(17);
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> data = RandomBytes(rng, rng() % (round < 150 ? 300 : 200000));
        size_t split = data.empty() ? 0 : rng() % data.size();
        Hash h;
        h.Init(HashMethod::CRC32);
        h.HashData(data.data(), split);
        h.HashData(data.data() + split, data.size() - split);
        uint8_t d[4];
        h.End(4, d);
        DWORD ours = DWORD{d[0]} << 24 | DWORD{d[1]} << 16 | DWORD{d[2]} << 8 | d[3];
        DWORD theirs = rtl(rtl(0, data.data(), static_cast<INT>(split)), data.data() + split,
                           static_cast<INT>(data.size() - split));
        ASSERT_EQ(ours, theirs) << data.size();
    }
}

TEST(Hash, DigestsAgainstBCrypt) {
    struct Algo {
        HashMethod method;
        const wchar_t* name;
    };
    const Algo algos[] = {{HashMethod::MD5, BCRYPT_MD5_ALGORITHM},
                          {HashMethod::SHA1, BCRYPT_SHA1_ALGORITHM},
                          {HashMethod::SHA256, BCRYPT_SHA256_ALGORITHM},
                          {HashMethod::SHA512, BCRYPT_SHA512_ALGORITHM}};
    std::mt19937 rng(23);
    for (const Algo& a : algos) {
        BCRYPT_ALG_HANDLE alg = nullptr;
        ASSERT_EQ(::BCryptOpenAlgorithmProvider(&alg, a.name, nullptr, 0), 0);
        for (int round = 0; round < 60; ++round) {
            std::vector<uint8_t> data = RandomBytes(rng, rng() % 5000);
            uint8_t theirs[64], ours[64];
            BCRYPT_HASH_HANDLE hh = nullptr;
            ASSERT_EQ(::BCryptCreateHash(alg, &hh, nullptr, 0, nullptr, 0, 0), 0);
            ::BCryptHashData(hh, data.data(), static_cast<ULONG>(data.size()), 0);
            ULONG size = static_cast<ULONG>(Hash::SizeOf(a.method));
            ASSERT_EQ(::BCryptFinishHash(hh, theirs, size, 0), 0);
            ::BCryptDestroyHash(hh);
            Hash h;
            h.Init(a.method);
            h.HashData(data.data(), data.size());
            h.End(sizeof(ours), ours);
            ASSERT_EQ(0, std::memcmp(ours, theirs, size)) << static_cast<int>(a.method);
        }
        ::BCryptCloseAlgorithmProvider(alg, 0);
    }
}

}  // namespace
}  // namespace kwill
