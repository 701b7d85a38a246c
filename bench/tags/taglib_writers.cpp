#include "bench/tags/taglib_writers.h"

#include <taglib/attachedpictureframe.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/unsynchronizedlyricsframe.h>
#include <taglib/xiphcomment.h>

namespace mm::bench {
namespace {

TagLib::String utf8(const std::string& s) { return TagLib::String(s, TagLib::String::UTF8); }
TagLib::ByteVector bytesOf(const std::string& s) {
    return TagLib::ByteVector(s.data(), static_cast<unsigned int>(s.size()));
}

}  // namespace

bool taglibWriteFlac(const std::string& path, const TagValues& v) {
    TagLib::FLAC::File f(path.c_str());
    if (!f.isValid()) return false;
    TagLib::Ogg::XiphComment* c = f.xiphComment(true);
    c->addField("ARTIST", utf8(v.artist));
    c->addField("ALBUM", utf8(v.album));
    c->addField("TITLE", utf8(v.title));
    c->addField("LYRICS", utf8(v.lyrics));
    c->addField("COPYRIGHT", utf8(v.credit));
    auto* p = new TagLib::FLAC::Picture;
    p->setType(TagLib::FLAC::Picture::FrontCover);
    p->setMimeType("image/jpeg");
    p->setWidth(200);
    p->setHeight(200);
    p->setData(bytesOf(v.cover));
    f.addPicture(p);
    return f.save();
}

bool taglibWriteMp3(const std::string& path, const TagValues& v) {
    TagLib::MPEG::File f(path.c_str());
    if (!f.isValid()) return false;
    TagLib::ID3v2::Tag* t = f.ID3v2Tag(true);
    t->setTitle(utf8(v.title));
    t->setArtist(utf8(v.artist));
    t->setAlbum(utf8(v.album));
    auto* cop = new TagLib::ID3v2::TextIdentificationFrame("TCOP", TagLib::String::UTF16);
    cop->setText(utf8(v.credit));
    t->addFrame(cop);
    auto* pic = new TagLib::ID3v2::AttachedPictureFrame;
    pic->setMimeType("image/jpeg");
    pic->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
    pic->setPicture(bytesOf(v.cover));
    t->addFrame(pic);
    auto* lyr = new TagLib::ID3v2::UnsynchronizedLyricsFrame(TagLib::String::UTF16);
    lyr->setText(utf8(v.lyrics));
    t->addFrame(lyr);
    return f.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers, TagLib::ID3v2::v3);
}

}  // namespace mm::bench
