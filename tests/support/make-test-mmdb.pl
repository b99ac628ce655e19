#!/usr/bin/perl
# Writes a small MaxMind-format database for the tests, never a downloaded one:
#   make-test-mmdb.pl OUT DATABASE_TYPE country|asn|city|bulk|bulkasn
# 127.0.0.0/8 and 2001:db8::/32 are known to every kind, 203.0.113.0/24 (its registered country alone) and ::1 to
# country and city alone, and 198.51.100.0/24 to asn alone; nothing else is.
use strict;
use warnings;
use MaxMind::DB::Writer::Tree;

my ($out, $type, $kind) = @ARGV;
die "usage: $0 OUT DATABASE_TYPE country|asn|city|bulk|bulkasn\n" unless defined $kind;

my %types = (
    country => 'map', registered_country => 'map', city => 'map', names => 'map',
    iso_code => 'utf8_string', en => 'utf8_string', geoname_id => 'uint32',
    autonomous_system_number => 'uint32', autonomous_system_organization => 'utf8_string',
);
my $tree = MaxMind::DB::Writer::Tree->new(
    ip_version => 6, record_size => 24, database_type => $type, languages => ['en'],
    description => { en => 'Zandel test database' },
    remove_reserved_networks => 0, map_key_type_callback => sub { $types{ $_[0] } },
);

sub country { my ($code, $name) = @_; return { country => { iso_code => $code, names => { en => $name } } } }
sub network { my ($asn, $name) = @_; return { autonomous_system_number => $asn, autonomous_system_organization => $name } }

my %networks;
if ($kind eq 'bulk' || $kind eq 'bulkasn') {
    # For the benches: a tree about as deep as a real database's, 40 000 IPv4 and 10 000 IPv6 networks of a few
    # dozen countries, or of a thousand networks; 127.0.0.0/8 (the cpu bench's proxies) among them.
    my @codes = map { chr(65 + $_ % 26) . chr(65 + int($_ / 26)) } 0 .. 59;
    my $place = sub { my $i = shift; return $kind eq 'bulk' ? country($codes[$i % 60], "Land $i")
                                                             : network(64512 + $i % 1000, "Net $i") };
    for my $i (0 .. 39999) {
        my $n = ($i * 104729) % (223 << 16);
        $networks{ sprintf('%d.%d.%d.0/24', 1 + ($n >> 16), ($n >> 8) & 255, $n & 255) } = $place->($i);
    }
    for my $i (0 .. 9999) {
        $networks{ sprintf('2a%02x:%x::/32', $i % 256, ($i * 7919) % 65536) } = $place->($i);
    }
    $networks{'127.0.0.0/8'} = $place->(7);
} elsif ($kind eq 'asn') {
    %networks = ('127.0.0.0/8' => network(16509, 'Amazon.com, Inc.'), '2001:db8::/32' => network(64501, 'Example Six'),
                 '198.51.100.0/24' => network(64500, 'Example Net'));
} else {
    %networks = ('127.0.0.0/8' => country('JP', 'Japan'), '2001:db8::/32' => country('DE', 'Germany'),
                 '::1/128' => country('NL', 'Netherlands'),
                 '203.0.113.0/24' => { registered_country => { iso_code => 'US', names => { en => 'United States' } } });
    if ($kind eq 'city') {
        $_->{city} = { geoname_id => 1850147, names => { en => 'Tokyo' } } for values %networks;
    }
}
$tree->insert_network($_, $networks{$_}) for sort keys %networks;
open my $fh, '>:raw', $out or die "$out: $!\n";
$tree->write_tree($fh);
close $fh or die "$out: $!\n";
