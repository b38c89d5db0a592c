#!/usr/bin/env python3
"""Writes a deterministic message catalog CSV of about the requested size.

Default shape: 8 languages, a mix of ASCII, European and CJK text (about a third of the bytes
non-ASCII), quoted cells with commas, doubled quotes and line breaks, markup of every kind, comment
rows, and a third of the translations left empty. With --languages L --rows R --short the catalog
is instead a header of L languages followed by R short two-cell rows, so nearly every cell of the
table is an empty padding cell.

    gen_catalog.py --size-mb 20 out.csv
    gen_catalog.py --short --languages 5000 --rows 5000 out.csv
"""
import argparse
import random

EN_WORDS = ("file save open close settings user account message error warning level item "
            "inventory quest reward battle victory defeat player enemy health mana gold shop "
            "options audio video language confirm cancel continue load new game the a of to "
            "your is was will be not found please try again later network server").split()
EU_WORDS = ("été über straße niño café Ärger größe fenêtre déjà élève schön Müller señor "
            "año mañana garçon naïve coöperation fiancée résumé Zürich Göteborg").split()
RU_WORDS = "файл сохранить открыть закрыть настройки пользователь сообщение ошибка".split()
JA_WORDS = ("ファイル 保存 開く 閉じる 設定 ユーザー メッセージ エラー 警告 アイテム "
            "クエスト 報酬 戦闘 勝利 敗北 プレイヤー 敵 体力 魔力 お金 店 を が は に で").split()
ZH_WORDS = "文件 保存 打开 关闭 设置 用户 消息 错误 警告 物品 任务 奖励 战斗 胜利 失败".split()
KO_WORDS = "파일 저장 열기 닫기 설정 사용자 메시지 오류 경고 아이템 퀘스트 보상".split()
LANGS = [("en", EN_WORDS, " "), ("de", EN_WORDS + EU_WORDS, " "), ("fr", EN_WORDS + EU_WORDS, " "),
         ("es", EN_WORDS + EU_WORDS, " "), ("ru", RU_WORDS + EN_WORDS[:8], " "),
         ("ja", JA_WORDS, ""), ("zh", ZH_WORDS, ""), ("ko", KO_WORDS, " ")]
RUBY = ["<@漢字:かんじ>", "<@勝利=しょうり>", "<@a::b:c>"]
COLORS = ["red", "green", "blue", "yellow", "white"]


def markup(rng):
    kind = rng.randrange(9)
    if kind == 0:
        return "{%d}" % rng.randrange(4)
    if kind == 1:
        return "{}"
    if kind == 2:
        return "{0,>8}"
    if kind == 3:
        return "<#%s>" % rng.choice(COLORS)
    if kind == 4:
        return "<$bold>"
    if kind == 5:
        return rng.choice(["</>", "</#>", "</$>", "</#$>"])
    if kind == 6:
        return rng.choice(RUBY)
    if kind == 7:
        return rng.choice(["<<", "{{", "}}"])
    return "1 < 2 > 0"


def message(rng, words, sep):
    parts = []
    for _ in range(rng.randrange(2, 14)):
        roll = rng.random()
        if roll < 0.12:
            parts.append(markup(rng))
        elif roll < 0.15:
            parts.append(rng.choice([",", "\"quoted\"", "\r\n", "\n", ", "]))
        else:
            parts.append(rng.choice(words))
    return sep.join(parts)


def cell(text):
    if any(c in text for c in ",\"\r\n"):
        return '"' + text.replace('"', '""') + '"'
    return text


def write_default(out, rng, size):
    header = "ID," + ",".join(name for name, _, _ in LANGS) + "\r\n"
    out.write(header.encode())
    written = len(header)
    n = 0
    messages = 0
    chunk = []
    while written < size:
        n += 1
        if n % 97 == 0:
            row = "#section %d" % n + "," * len(LANGS)
        else:
            cells = ["MSG_%s_%06d" % (rng.choice(["MENU", "BATTLE", "SHOP", "QUEST"]), n)]
            for index, (_, words, sep) in enumerate(LANGS):
                # The first language is always filled; a third of the others are missing.
                empty = index > 0 and rng.random() < 0.38
                cells.append("" if empty else cell(message(rng, words, sep)))
            row = ",".join(cells)
            messages += 1
        data = (row + "\r\n").encode()
        written += len(data)
        chunk.append(data)
        if len(chunk) >= 4096:
            out.write(b"".join(chunk))
            chunk = []
    out.write(b"".join(chunk))
    return messages


def write_short(out, rng, languages, rows):
    out.write(("ID," + ",".join("l%d" % i for i in range(languages)) + "\r\n").encode())
    for n in range(rows):
        out.write(("M%d,%s\r\n" % (n, rng.choice(EN_WORDS))).encode())
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output")
    parser.add_argument("--size-mb", type=float, default=20.0)
    parser.add_argument("--seed", type=int, default=13)
    parser.add_argument("--short", action="store_true")
    parser.add_argument("--languages", type=int, default=5000)
    parser.add_argument("--rows", type=int, default=5000)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    with open(args.output, "wb") as out:
        if args.short:
            messages = write_short(out, rng, args.languages, args.rows)
        else:
            messages = write_default(out, rng, int(args.size_mb * 1024 * 1024))
    # The message count, for per-message figures.
    with open(args.output + ".messages", "w") as count:
        count.write("%d\n" % messages)


if __name__ == "__main__":
    main()
