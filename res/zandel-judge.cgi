#!/usr/bin/perl
# Zandel's signed judge: prints the server variables of the request it received as an HTML page, one per
# line, so that Zandel can see which headers a proxy added on the way. When the request carries a nonce
# (?zandel-nonce=...), the page also carries that nonce and an HMAC-SHA256 of the page under the judge's key,
# so that Zandel can tell a page the proxy rewrote or served from a cache from the judge's own.
#
# The key (one line: the key Zandel is given, printable ASCII without blanks) lives outside the web server's
# document tree, where no request can fetch it: in the file the web server names in the environment variable
# ZANDEL_JUDGE_KEY_FILE (lighttpd: setenv.add-environment, Apache: SetEnv), else in the file named on the next
# line. The judge refuses to sign with a key file that other users may read or that lies under the document root.
my $KEY_FILE = '/etc/zandel-judge.key';
#
# Install (Debian): copy this file into the CGI folder (/usr/lib/cgi-bin for Apache and for lighttpd's
# "lighty-enable-mod cgi"), chmod 755 it; write the key into /etc/zandel-judge.key, then
# "chown root:www-data /etc/zandel-judge.key; chmod 640 /etc/zandel-judge.key"; enter the script's URL and the
# key on Zandel's access URL page. Digest::SHA comes with Debian's perl (package libperl5.36).
use strict;
use warnings;

my @names = qw(REMOTE_ADDR REMOTE_HOST REQUEST_METHOD SERVER_PROTOCOL REQUEST_URI);
my %shown = map { $_ => 1 } @names;
my @lines;
for my $name (sort keys %ENV) {
    next unless $name =~ /^HTTP_/ || $shown{$name};
    push @lines, "$name=" . escape($ENV{$name});
}

my @headers = ('Content-Type: text/html; charset=utf-8', 'Cache-Control: no-store');
my $page = "<html><head><title>Zandel judge</title></head><body><pre>\n" . join('', map { "$_\n" } @lines);
my $tail = "</pre></body></html>\n";

my ($nonce) = ($ENV{QUERY_STRING} // '') =~ /(?:^|&)zandel-nonce=([0-9a-f]{16,64})(?:&|$)/;
if (defined $nonce) {
    # The response headers this script sends, inside what is signed, so that a header changed on the way shows.
    $page .= join('', map { "ZANDEL_HEADER=" . escape($_) . "\n" } @headers);
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
print join('', map { "$_\r\n" } @headers), "\r\n", $page, $tail;

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
    my $path = $ENV{ZANDEL_JUDGE_KEY_FILE} || $KEY_FILE;
    open(my $file, '<:raw', $path) or return (undef, 'the key file cannot be read');
    my @st = stat $file;
    return (undef, 'the key file may be read by other users (chmod 640 or 600)') if ($st[2] & 004);
    if (my $root = $ENV{DOCUMENT_ROOT}) {
        require Cwd;
        my ($real, $top) = (Cwd::abs_path($path), Cwd::abs_path($root));
        return (undef, 'the key file lies under the document root, where a request may fetch it')
            if defined $real && defined $top && index("$real/", ($top eq '/' ? '' : $top) . '/') == 0;
    }
    my $key = <$file>;
    close $file;
    $key = '' unless defined $key;
    $key =~ s/\r?\n\z//;
    return (undef, 'the key file is empty') if $key eq '';
    return (undef, 'the key has blanks or characters other than printable ASCII') if $key =~ /[^\x21-\x7e]/;
    return ($key, undef);
}
