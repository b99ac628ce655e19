#!/usr/bin/perl
# Zandel's signed judge: prints the server variables of the request it received as an HTML page, one per
# line, so that Zandel can see which headers a proxy added on the way. When the request carries a nonce
# (?zandel-nonce=...), the page also carries that nonce and an HMAC-SHA256 of the page under the key in
# "zandel-judge.key" beside this script, so that Zandel can tell a page the proxy rewrote or served from a
# cache from the judge's own.
#
# Install: copy this file and zandel-judge.key (one line: the key Zandel is given, printable ASCII without
# blanks) into the cgi-bin folder of your web server, chmod 755 zandel-judge.cgi, chmod 644 the key (or 640
# with the web server's group), and enter the script's URL and the key on Zandel's access URL page.
use strict;
use warnings;

my @names = qw(REMOTE_ADDR REMOTE_HOST REQUEST_METHOD SERVER_PROTOCOL REQUEST_URI);
my %shown = map { $_ => 1 } @names;
my @lines;
for my $name (sort keys %ENV) {
    next unless $name =~ /^HTTP_/ || $shown{$name};
    push @lines, "$name=" . escape($ENV{$name});
}

my $page = "<html><head><title>Zandel judge</title></head><body><pre>\n" . join('', map { "$_\n" } @lines);
my $tail = "</pre></body></html>\n";

my ($nonce) = ($ENV{QUERY_STRING} // '') =~ /(?:^|&)zandel-nonce=([0-9a-f]{16,64})(?:&|$)/;
if (defined $nonce) {
    $page .= "ZANDEL_NONCE=$nonce\n";
    my ($key, $error) = read_key();
    if (defined $error) {
        $page .= "ZANDEL_ERROR=$error\n";
    } elsif (!eval { require Digest::SHA; 1 }) {
        $page .= "ZANDEL_ERROR=no Digest::SHA in this perl\n";
    } else {
        $page .= 'ZANDEL_HMAC=' . Digest::SHA::hmac_sha256_hex($page, $key) . "\n";
    }
}

binmode STDOUT;
print "Content-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\n\r\n", $page, $tail;

# Values as text, never as markup: a header a proxy added must not end the line early.
sub escape {
    my ($text) = @_;
    $text =~ s/&/&amp;/g;
    $text =~ s/</&lt;/g;
    $text =~ s/>/&gt;/g;
    $text =~ s/([\x00-\x1f\x7f])/sprintf('&#%d;', ord $1)/ge;
    return $text;
}

sub read_key {
    my $script = $ENV{SCRIPT_FILENAME} // $0;
    (my $folder = $script) =~ s{/[^/]*$}{};
    $folder = '.' if $folder eq $script;
    my $path = "$folder/zandel-judge.key";
    open(my $file, '<:raw', $path) or return (undef, "key file zandel-judge.key cannot be read");
    my $key = <$file>;
    close $file;
    $key = '' unless defined $key;
    $key =~ s/\r?\n\z//;
    return (undef, 'key file zandel-judge.key is empty') if $key eq '';
    return (undef, 'key in zandel-judge.key has blanks or characters other than printable ASCII')
        if $key =~ /[^\x21-\x7e]/;
    return ($key, undef);
}
