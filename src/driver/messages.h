// Console messages. The Japanese texts are code page 932 (Shift-JIS) bytes,
// as the debugger's console expects; the readable text stands above each.
#pragma once

// clang-format off

constexpr const char kBanner[] = "GNU-DORO-C ELF/Dwarf2 Symbol Converter Tool Ver2.00C\n";
constexpr const char kMsgUsage2[] = ">Morvik Dir\\FileName [-sw][-o Dir\\OutFileName]\n";

// ファイル名が入力されていません。
constexpr const char kMsgNoFileName[] = "\x83""t\x83""@\x83""C\x83""\x8b""\x96""\xbc""\x82""\xaa""\x93""\xfc""\x97""\xcd""\x82""\xb3""\x82""\xea""\x82""\xc4""\x82""\xa2""\x82""\xdc""\x82""\xb9""\x82""\xf1""\x81""B\n";
// [-a] ABS(ELF/Dwarf2)ファイルよりSYM/LIN/HEXファイルを作成する。
constexpr const char kMsgUsage3[] = " [-a] ABS(ELF/Dwarf2)\x83""t\x83""@\x83""C\x83""\x8b""\x82""\xe6""\x82""\xe8""SYM/LIN/HEX\x83""t\x83""@\x83""C\x83""\x8b""\x82""\xf0""\x8d""\xec""\x90""\xac""\x82""\xb7""\x82""\xe9""\x81""B\n";
// [-r] ディレクトリ情報を作成しない。
constexpr const char kMsgUsage4[] = " [-r] \x83""f\x83""B\x83""\x8c""\x83""N\x83""g\x83""\x8a""\x8f""\xee""\x95""\xf1""\x82""\xf0""\x8d""\xec""\x90""\xac""\x82""\xb5""\x82""\xc8""\x82""\xa2""\x81""B\n";
// [-i] 重複モジュール情報(Inline関数等)を削除する。
constexpr const char kMsgUsage5[] = " [-i] \x8f""d\x95""\xa1""\x83""\x82""\x83""W\x83""\x85""\x81""[\x83""\x8b""\x8f""\xee""\x95""\xf1""(Inline\x8a""\xd6""\x90""\x94""\x93""\x99"")\x82""\xf0""\x8d""\xed""\x8f""\x9c""\x82""\xb7""\x82""\xe9""\x81""B\n";
// [-g] スタティック変数をグローバル化する。
constexpr const char kMsgUsage6[] = " [-g] \x83""X\x83""^\x83""e\x83""B\x83""b\x83""N\x95""\xcf""\x90""\x94""\x82""\xf0""\x83""O\x83""\x8d""\x81""[\x83""o\x83""\x8b""\x89""\xbb""\x82""\xb7""\x82""\xe9""\x81""B\n";
// [-f] 使用しているインクルードファイルを全てRIdovに登録する。
constexpr const char kMsgUsage7[] = " [-f] \x8e""g\x97""p\x82""\xb5""\x82""\xc4""\x82""\xa2""\x82""\xe9""\x83""C\x83""\x93""\x83""N\x83""\x8b""\x81""[\x83""h\x83""t\x83""@\x83""C\x83""\x8b""\x82""\xf0""\x91""S\x82""\xc4""RIdov\x82""\xc9""\x93""o\x98""^\x82""\xb7""\x82""\xe9""\x81""B\n";
// [-m] 重複情報をRidovにマージする。[-i]時は無効になる。
constexpr const char kMsgUsage8[] = " [-m] \x8f""d\x95""\xa1""\x8f""\xee""\x95""\xf1""\x82""\xf0""Ridov\x82""\xc9""\x83""}\x81""[\x83""W\x82""\xb7""\x82""\xe9""\x81""B[-i]\x8e""\x9e""\x82""\xcd""\x96""\xb3""\x8c""\xf8""\x82""\xc9""\x82""\xc8""\x82""\xe9""\x81""B\n";
// [-s] ラインシンボル情報をソートしない。
constexpr const char kMsgUsage9[] = " [-s] \x83""\x89""\x83""C\x83""\x93""\x83""V\x83""\x93""\x83""{\x83""\x8b""\x8f""\xee""\x95""\xf1""\x82""\xf0""\x83""\x5c""\x81""[\x83""g\x82""\xb5""\x82""\xc8""\x82""\xa2""\x81""B\n";
// [-l] ローカルシンボル情報を作成しない。
constexpr const char kMsgUsage10[] = " [-l] \x83""\x8d""\x81""[\x83""J\x83""\x8b""\x83""V\x83""\x93""\x83""{\x83""\x8b""\x8f""\xee""\x95""\xf1""\x82""\xf0""\x8d""\xec""\x90""\xac""\x82""\xb5""\x82""\xc8""\x82""\xa2""\x81""B\n";
// ディレクトリ名およびファイル名が深く長すぎます。！！
constexpr const char kMsgTooLong[] = "\x83""f\x83""B\x83""\x8c""\x83""N\x83""g\x83""\x8a""\x96""\xbc""\x82""\xa8""\x82""\xe6""\x82""\xd1""\x83""t\x83""@\x83""C\x83""\x8b""\x96""\xbc""\x82""\xaa""\x90""[\x82""\xad""\x92""\xb7""\x82""\xb7""\x82""\xac""\x82""\xdc""\x82""\xb7""\x81""B\x81""I\x81""I\n";
// ファイルが有りません！！
constexpr const char kMsgMissingFile[] = " \x83""t\x83""@\x83""C\x83""\x8b""\x82""\xaa""\x97""L\x82""\xe8""\x82""\xdc""\x82""\xb9""\x82""\xf1""\x81""I\x81""I\n";
// 指定ファイルはELF/Dwarf2フォーマットでありません。
constexpr const char kMsgNotElf[] = "\x8e""w\x92""\xe8""\x83""t\x83""@\x83""C\x83""\x8b""\x82""\xcd""ELF/Dwarf2\x83""t\x83""H\x81""[\x83""}\x83""b\x83""g\x82""\xc5""\x82""\xa0""\x82""\xe8""\x82""\xdc""\x82""\xb9""\x82""\xf1""\x81""B\n";
// 入力ファイルと出力ファイルが同じです。！！
constexpr const char kMsgSameFile[] = " \x93""\xfc""\x97""\xcd""\x83""t\x83""@\x83""C\x83""\x8b""\x82""\xc6""\x8f""o\x97""\xcd""\x83""t\x83""@\x83""C\x83""\x8b""\x82""\xaa""\x93""\xaf""\x82""\xb6""\x82""\xc5""\x82""\xb7""\x81""B\x81""I\x81""I\n";
// clang-format on
