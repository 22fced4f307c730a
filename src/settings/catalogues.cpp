#include "settings/catalogues.h"

#include <array>

namespace qv {

namespace {

using namespace std::string_view_literals;

// One row per line, as the rows are numbered. New rows go at the end only, so that
// settings files (rows by index) and presets (rows by text) written before keep their
// meaning.
// clang-format off
constexpr std::array<std::string_view, 2> kC1_02{
    "変換元と同じﾌｫﾙﾀﾞ,ﾌｧｲﾙ名が同じ場合は上書き保存"sv,
    "ﾌｫﾙﾀﾞ指定,ﾌｧｲﾙ名が同じ場合は上書き保存"sv,
};

constexpr std::array<std::string_view, 15> kC2_01{
    "自動,元の形式を維持"sv,
    "AVI,XviD/MS-MPEG4/etc..."sv,
    "MPG,MPEG1"sv,
    "M2P,MPEG2"sv,
    "MP4,MPEG4/H.264"sv,
    "3GP,MPEG4/H.263/H.264"sv,
    "WMV,WMV1/WMV2"sv,
    "ASF,MPEG4/MSMPEG4"sv,
    "MOV,MPEG4/SVQ1(QuickTime)"sv,
    "RM,RV10/RV20(RealVideo)"sv,
    "OGM,THEORA(Ogg-Vorbis)"sv,
    "FLV,FlashVideo"sv,
    "SWF,Flash"sv,
    "MKV,Matroska"sv,
    "WEBM,WebM"sv,
};

constexpr std::array<std::string_view, 43> kC2_02{
    "自動,元のｻｲｽﾞを維持"sv,
    "128x96,SQCIF"sv,
    "176x144,QCIF"sv,
    "352x288,CIF"sv,
    "704x576,4CIF"sv,
    "160x120,qQVGA"sv,
    "240x176,hQVGA"sv,
    "320x240,QVGA"sv,
    "640x480,VGA"sv,
    "800x600,SVGA"sv,
    "1024x768,XGA"sv,
    "1600x1200,UXGA"sv,
    "2048x1536,QXGA"sv,
    "1280x1024,SXGA"sv,
    "2560x2048,QSXGA"sv,
    "5120x4096,HSXGA"sv,
    "852x480,WVGA"sv,
    "1366x768,WXGA"sv,
    "1600x1024,WSXGA"sv,
    "1920x1200,WUXGA"sv,
    "2560x1600,WOXGA"sv,
    "3200x2048,WQSXGA"sv,
    "3840x2400,WQUXGA"sv,
    "6400x4096,WHSXGA"sv,
    "7680x4800,WHUXGA"sv,
    "320x200,CGA"sv,
    "640x350,EGA"sv,
    "852x480,HD480"sv,
    "1280x720,HD720"sv,
    "1920x1080,HD1080"sv,
    "240x160"sv,
    "360x240"sv,
    "480x320"sv,
    "720x480"sv,
    "960x720"sv,
    "1440x1080"sv,
    "400x240"sv,
    "480x270"sv,
    "480x360"sv,
    "640x360"sv,
    "960x540"sv,
    "368x208,<Sony-PSP>"sv,
    "512x384,<ﾆｺﾆｺ動画>"sv,
};

constexpr std::array<std::string_view, 8> kC2_03{
    "自動,元のｱｽﾍﾟｸﾄ比を維持"sv,
    "1:1"sv,
    "3:2"sv,
    "4:3"sv,
    "5:4"sv,
    "11:9"sv,
    "12:5"sv,
    "16:9"sv,
};

constexpr std::array<std::string_view, 37> kC2_04{
    "自動,元のｺｰﾃﾞｯｸを維持"sv,
    "ASV1,Asus-v1"sv,
    "ASV2,Asus-v2"sv,
    "DVVIDEO,DV"sv,
    "FFV1,FFmpegVideo1"sv,
    "FFVHUFF,FFmpegVideo-Huff"sv,
    "FLASHSV,FlashScreenVideo"sv,
    "FLV,FlashVideo(Sorenson-H.263)"sv,
    "H261,H.261"sv,
    "H263,H.263"sv,
    "H263P,H.263+(RealVideo1.0)"sv,
    "LIBX264,H.264(AVC)"sv,
    "HUFFYUV,Huff-YUV"sv,
    "JPEGLS,JPEG-Lossless"sv,
    "MJPEG,MotionJPEG"sv,
    "MPEG1VIDEO,MPEG1"sv,
    "MPEG2VIDEO,MPEG2(DVD-VOB)"sv,
    "MPEG4"sv,
    "MSMPEG4,MS-MPEG4"sv,
    "MSMPEG4V1,MS-MPEG4-v1"sv,
    "MSMPEG4V2,MS-MPEG4-v2"sv,
    "QTRLE"sv,
    "RAWVIDEO"sv,
    "ROQVIDEO"sv,
    "RV10,RealVideo1.0"sv,
    "RV20,RealVideo2.0"sv,
    "SNOW,FFmpegVideo-Snow"sv,
    "SVQ1,SorensonVideo1"sv,
    "LIBTHEORA,Theora"sv,
    "WMV1,WindowsMediaVideo1"sv,
    "WMV2,WindowsMediaVideo2"sv,
    "LIBXVID,XviD"sv,
    "ZLIB,LCL"sv,
    "ZMBV"sv,
    "LIBX265,H.265(HEVC)"sv,
    "LIBVPX-VP9,VP9"sv,
    "LIBSVTAV1,AV1"sv,
};

constexpr std::array<std::string_view, 35> kC2_05{
    "自動,元のﾋﾞｯﾄﾚｰﾄを維持"sv,
    "48kbps,CBR"sv,
    "64kbps,CBR"sv,
    "96kbps,CBR"sv,
    "128kbps,CBR"sv,
    "192kbps,CBR"sv,
    "200kbps,CBR"sv,
    "216kbps,CBR"sv,
    "256kbps,CBR"sv,
    "384kbps,CBR"sv,
    "512kbps,CBR"sv,
    "768kbps,CBR"sv,
    "1024kbps,CBR"sv,
    "2048kbps,CBR"sv,
    "2500kbps,CBR"sv,
    "4096kbps,CBR"sv,
    "5000kbps,CBR"sv,
    "8000kbps,CBR"sv,
    "10000kbps,CBR"sv,
    "1,VBR(最高品質)"sv,
    "3,VBR"sv,
    "5,VBR"sv,
    "7,VBR"sv,
    "9,VBR"sv,
    "11,VBR(高品質)"sv,
    "13,VBR"sv,
    "15,VBR"sv,
    "17,VBR"sv,
    "19,VBR"sv,
    "21,VBR(低品質)"sv,
    "23,VBR"sv,
    "25,VBR"sv,
    "27,VBR"sv,
    "29,VBR"sv,
    "31,VBR(最低品質)"sv,
};

constexpr std::array<std::string_view, 16> kC2_06{
    "自動,元のﾌﾚｰﾑﾚｰﾄを維持"sv,
    "1fps"sv,
    "5fps"sv,
    "6fps"sv,
    "7.5fps"sv,
    "8fps"sv,
    "10fps"sv,
    "12fps"sv,
    "12.5fps"sv,
    "15fps"sv,
    "24fps"sv,
    "25fps"sv,
    "29.97fps"sv,
    "30fps"sv,
    "50fps"sv,
    "60fps"sv,
};

constexpr std::array<std::string_view, 53> kC3_01{
    "自動,元のｴﾝｺｰﾄﾞを維持"sv,
    "LIBFAAC,AAC(AdvancedAudio)"sv,
    "AC3"sv,
    "ADPCM_4XM,4X-IMA-ADPCM"sv,
    "ADPCM_ADX,CRI-ADX-ADPCM(ｾｶﾞ/ﾄﾞﾘｰﾑｷｬｽﾄ)"sv,
    "ADPCM_CT"sv,
    "ADPCM_EA,ElectronicArts-ADPCM(EA/ｹﾞｰﾑ)"sv,
    "ADPCM_IMA_DK3,Duck-DK3-IMA-ADPCM(ｾｶﾞ/ｻﾀｰﾝ)"sv,
    "ADPCM_IMA_DK4,Duck-DK3-IMA-ADPCM(ｾｶﾞ/ｻﾀｰﾝ)"sv,
    "ADPCM_IMA_QT,QT-IMA-ADPCM"sv,
    "ADPCM_IMA_SMJPEG,SMJPEG-IMA-ADPCM(Loki/ｹﾞｰﾑ)"sv,
    "ADPCM_IMA_WAV"sv,
    "ADPCM_IMA_WS,WestwoodStudios-IMA-ADPCM(WS/ｹﾞｰﾑ)"sv,
    "ADPCM_MS,MS-IMA-ADPCM"sv,
    "ADPCM_SBPRO_2"sv,
    "ADPCM_SBPRO_3"sv,
    "ADPCM_SBPRO_4"sv,
    "ADPCM_SWF"sv,
    "ADPCM_XA,CDROM-XA-ADPCM"sv,
    "ADPCM_YAMAHA"sv,
    "LIBAMR_NB,AMR-NB"sv,
    "LIBAMR_WB,AMR-WB"sv,
    "FLAC,FreeLosslessAudio"sv,
    "G726,G.726-ADPCM"sv,
    "LIBGSM,GSM"sv,
    "LIBGSM_MS,GSM-MS"sv,
    "MP2,MP2(MPEG-AudioLayer2)"sv,
    "LIBMP3LAME,MP3(MPEG-AudioLayer3)"sv,
    "PCM_ALAW"sv,
    "PCM_MULAW"sv,
    "PCM_S8,WAVE-PCM(8bit)"sv,
    "PCM_S16BE,WAVE-PCM(16bit)"sv,
    "PCM_S16LE,WAVE-PCM(16bit)"sv,
    "PCM_S24BE,WAVE-PCM(24bit)"sv,
    "PCM_S24DAUD,WAVE-PCM(24bit)"sv,
    "PCM_S24LE,WAVE-PCM(24bit)"sv,
    "PCM_S32BE,WAVE-PCM(32bit)"sv,
    "PCM_S32LE,WAVE-PCM(32bit)"sv,
    "PCM_U8,WAVE-PCM(8bit)"sv,
    "PCM_U16BE,WAVE-PCM(16bit)"sv,
    "PCM_U16LE,WAVE-PCM(16bit)"sv,
    "PCM_U24BE,WAVE-PCM(24bit)"sv,
    "PCM_U24LE,WAVE-PCM(24bit)"sv,
    "PCM_U32BE,WAVE-PCM(32bit)"sv,
    "PCM_U32LE,WAVE-PCM(32bit)"sv,
    "PCM_ZORK,WAVE-PCM(ZORK)"sv,
    "ROQ_DPCM"sv,
    "SONIC,FFmpegSonic"sv,
    "SONICLS,FFmpegSonic-Lossless"sv,
    "VORBIS,Ogg-Vorbis"sv,
    "WMAV1,WindowsMediaAudio1"sv,
    "WMAV2,WindowsMediaAudio2"sv,
    "LIBOPUS,Opus"sv,
};

constexpr std::array<std::string_view, 19> kC3_02{
    "自動,元のｻﾝﾌﾟﾙﾋﾞｯﾄを維持"sv,
    "16kbps"sv,
    "20kbps"sv,
    "24kbps"sv,
    "28kbps"sv,
    "32kbps"sv,
    "40kbps"sv,
    "48kbps"sv,
    "56kbps"sv,
    "64kbps"sv,
    "80kbps"sv,
    "96kbps"sv,
    "112kbps"sv,
    "128kbps"sv,
    "160kbps"sv,
    "192kbps"sv,
    "224kbps"sv,
    "256kbps"sv,
    "320kbps"sv,
};

constexpr std::array<std::string_view, 10> kC3_03{
    "自動,元のｻﾝﾌﾟﾘﾝｸﾞﾚｰﾄを維持"sv,
    "8000Hz"sv,
    "11025Hz,携帯電話音質"sv,
    "16000Hz"sv,
    "22050Hz"sv,
    "24000Hz,<Sony-PSP>"sv,
    "32000Hz,<Nintendo-DS>"sv,
    "41000Hz"sv,
    "44100Hz,CD音質"sv,
    "48000Hz"sv,
};

constexpr std::array<std::string_view, 3> kC3_04{
    "自動,元のﾁｬﾝﾈﾙ数を維持"sv,
    "1,ﾓﾉﾗﾙ"sv,
    "2,ｽﾃﾚｵ"sv,
};

constexpr std::array<std::string_view, 8> kC3_05{
    "自動,元の音量を維持"sv,
    "128,0.5倍"sv,
    "192,0.75倍"sv,
    "320,1.25倍"sv,
    "384,1.5倍"sv,
    "516,2.0倍"sv,
    "640,2.5倍"sv,
    "768,3.0倍"sv,
};

constexpr std::array<std::string_view, 15> kC3_06{
    "自動,元の音声位置を維持"sv,
    "1,0.001秒間隔"sv,
    "5,0.005秒間隔"sv,
    "10,0.01秒間隔"sv,
    "50,0.05秒間隔"sv,
    "100,0.1秒間隔"sv,
    "200,0.2秒間隔"sv,
    "300,0.3秒間隔"sv,
    "400,0.4秒間隔"sv,
    "500,0.5秒間隔"sv,
    "600,0.6秒間隔"sv,
    "700,0.7秒間隔"sv,
    "800,0.8秒間隔"sv,
    "900,0.9秒間隔"sv,
    "1000,1秒間隔"sv,
};

// clang-format on

}  // namespace

const std::string_view kManualPresetRow =
    "手動,[形式],[ｻｲｽﾞ],[ｺｰﾃﾞｯｸ],[ﾌﾚｰﾑﾚｰﾄ],[ﾋﾞｯﾄﾚｰﾄ],[ﾁｬﾝﾈﾙ],[ｺｰﾃﾞｯｸ],[ｻﾝﾌﾟﾙﾚｰﾄ],[ﾋﾞｯﾄﾚｰﾄ]";

std::span<const std::string_view> catalogue(CatalogueId id) {
    switch (id) {
        case CatalogueId::C1_02:
            return kC1_02;
        case CatalogueId::C2_01:
            return kC2_01;
        case CatalogueId::C2_02:
            return kC2_02;
        case CatalogueId::C2_03:
            return kC2_03;
        case CatalogueId::C2_04:
            return kC2_04;
        case CatalogueId::C2_05:
            return kC2_05;
        case CatalogueId::C2_06:
            return kC2_06;
        case CatalogueId::C3_01:
            return kC3_01;
        case CatalogueId::C3_02:
            return kC3_02;
        case CatalogueId::C3_03:
            return kC3_03;
        case CatalogueId::C3_04:
            return kC3_04;
        case CatalogueId::C3_05:
            return kC3_05;
        case CatalogueId::C3_06:
            return kC3_06;
    }
    return {};
}

}  // namespace qv
